// SPDX-License-Identifier: GPL-3.0-or-later
// Panel and control ids of the resource file resources/sondrix.uir.
// The numbers only name the elements; the resource file defines them and a
// test keeps the two in step.
#pragma once

namespace sondrix::panels {

// Main window: the display panel (graph area, trace labels, read-outs,
// start/stop button) and its menu bar.
inline constexpr int kMain = 1;
inline constexpr int kMainLabel0 = 2;  // toggle: kMainLabel0 + k is the trace label of slot k, k = 0 ... 19
inline constexpr int kMainStartStop = 23;      // button: open / start / stop
inline constexpr int kMainFocus = 24;          // decoration: parks the keyboard focus
inline constexpr int kMainAllTraces = 26;      // button: zoom on all traces
inline constexpr int kMainZoomIn = 27;         // button
inline constexpr int kMainZoomOut = 28;        // button
inline constexpr int kMainMove1 = 29;          // button: "Right" or "Up"
inline constexpr int kMainMove2 = 30;          // button: "Left" or "Down"
inline constexpr int kMainXYGraph = 31;        // graph: values against elapsed time
inline constexpr int kMainStripChart = 32;     // strip chart
inline constexpr int kMainTempGraph = 33;      // graph: values against temperature
inline constexpr int kMainDiagnostics = 34;    // hot text: adds the diagnostics menu item
inline constexpr int kMainAutoStart = 35;      // button: start from Rudud.ini
inline constexpr int kMainStop = 36;           // button: the second stop control
inline constexpr int kMainDepthGraph = 37;     // graph: values against depth
inline constexpr int kMainSpectGraph = 38;     // graph: bars over wavelength
inline constexpr int kMainSpect2Graph = 39;    // graph: A and C curves over wavelength
inline constexpr int kMainLost = 40;           // text: lost samples; doubles as the debug line
inline constexpr int kMainValue0 = 41;  // text: kMainValue0 + k is the value read-out of slot k
inline constexpr int kMainRate = 61;           // text: sample rate
inline constexpr int kMainRateUnit = 62;       // text: "samples/sec"
inline constexpr int kMainBinsize1 = 63;       // text: "Averaging n samples / bin"
inline constexpr int kMainBinsize2 = 64;       // text: "Plotting m bins / update"
inline constexpr int kMainTemp = 65;           // text
inline constexpr int kMainTempCaption = 66;    // text: "Temp (C)"
inline constexpr int kMainExtTemp = 67;        // text
inline constexpr int kMainExtTempCaption = 68; // text: "Ext. Temp (C)"
inline constexpr int kMainDepth = 69;          // text
inline constexpr int kMainDepthCaption = 70;   // text: "Depth (meters)"
inline constexpr int kMainStatus = 71;         // text: "Status: %08lX"
inline constexpr int kMainTitle = 72;          // text: file, identification, serial number
inline constexpr int kMainDate = 73;           // text
inline constexpr int kMainTime = 74;           // text
inline constexpr int kMainElapsed = 75;        // text: "        Elapsed hh:mm:ss"
inline constexpr int kMainFollow = 91;         // button: the graph follows the run again
inline constexpr int kMainTracePrev = 120;     // button: the previous page of trace labels
inline constexpr int kMainTracePage = 121;     // text: "Traces 21–40 of 200"
inline constexpr int kMainTraceNext = 122;     // button: the next page of trace labels
inline constexpr int kMainLineAway = 123;      // text: the serial line is away and the run waits for it
inline constexpr int kMainPosition = 124;      // text: the GPS fix and its age during a run
inline constexpr int kMainProgress = 96;       // progress: how much of its file a replay has read

// The main window's menu bar (loaded with the main panel).
inline constexpr int kMainMenu = 1;
inline constexpr int kMenuFile = 2;
inline constexpr int kMenuNew = 3;
inline constexpr int kMenuOpenDevice = 4;
inline constexpr int kMenuOpenDataFile = 5;
inline constexpr int kMenuSaveData = 6;
inline constexpr int kMenuFileSep1 = 7;
inline constexpr int kMenuEditConfig = 8;
inline constexpr int kMenuFileSep2 = 9;        // the diagnostics item is inserted before it
inline constexpr int kMenuExit = 10;
inline constexpr int kMenuDisplay = 11;
inline constexpr int kMenuDepthGraph = 12;
inline constexpr int kMenuXYGraph = 13;
inline constexpr int kMenuStripChart = 14;
inline constexpr int kMenuTempGraph = 15;
inline constexpr int kMenuSpect2Graph = 16;
inline constexpr int kMenuSpectGraph = 17;
inline constexpr int kMenuDisplaySep1 = 18;
inline constexpr int kMenuRecallGraph = 19;
inline constexpr int kMenuSaveGraph = 20;
inline constexpr int kMenuPrint = 21;
inline constexpr int kMenuConfigure = 22;
inline constexpr int kMenuConfigDisplay = 23;
inline constexpr int kMenuDisplaySep2 = 24;
inline constexpr int kMenuGraphSettings = 25;  // the same command as kMenuConfigDisplay
inline constexpr int kMenuConfigAcquisition = 26;
inline constexpr int kMenuHelp = 27;
inline constexpr int kMenuAbout = 28;
inline constexpr int kMenuExportGraph = 29;
inline constexpr int kMenuWholeRun = 41;       // check item: the time axis shows the whole run
inline constexpr int kMenuDisplaySep3 = 70;
inline constexpr int kMenuNightPalette = 71;   // checked while the night palette is worn
inline constexpr int kMenuConfigureSep1 = 72;
inline constexpr int kMenuReconnect = 73;      // checked while a live run waits for a line that went away
inline constexpr int kMenuExportData = 76;     // a data file as NetCDF, SeaBASS or CSV
inline constexpr int kMenuMarkEvent = 77;      // an event of the run going on (F5)
inline constexpr int kMenuDeployment = 90;     // the deployment metadata of the recordings
inline constexpr int kMenuConfigureSep2 = 91;
inline constexpr int kMenuPosition = 92;       // the GPS receiver of the runs

// Graph settings: the axes of the XY family of graphs.
inline constexpr int kGraphSettings = 20;
inline constexpr int kGsXMin = 2;            // double
inline constexpr int kGsXMax = 3;            // double
inline constexpr int kGsXAuto = 4;           // check box: autoscale X
inline constexpr int kGsYMin = 5;            // double
inline constexpr int kGsYMax = 6;            // double
inline constexpr int kGsYAuto = 7;           // check box: autoscale Y
inline constexpr int kGsXDivisions = 8;      // int
inline constexpr int kGsXAutoDivisions = 9;  // check box
inline constexpr int kGsYDivisions = 10;     // int
inline constexpr int kGsYAutoDivisions = 11; // check box
inline constexpr int kGsOk = 12;
inline constexpr int kGsCancel = 13;
inline constexpr int kGsFollowAxis = 20;     // check box: the time axis scrolls / the Y axis extends
inline constexpr int kGsFollowMinutes = 21;  // double: minutes of the time axis
inline constexpr int kGsWholeRun = 22;       // check box: the time axis shows the whole run
inline constexpr int kGsFollowValues = 23;   // check box: the value axis autoscales during a run

// Strip chart settings.
inline constexpr int kStripSettings = 21;
inline constexpr int kSsYMin = 2;         // double
inline constexpr int kSsYMax = 3;         // double
inline constexpr int kSsScrollSpeed = 4;  // int: points per screen = round(9999 / speed)
inline constexpr int kSsOk = 5;
inline constexpr int kSsCancel = 6;
inline constexpr int kSsFollowAxis = 20;     // check box: the chart shows the last minutes of a run
inline constexpr int kSsFollowMinutes = 21;  // double
inline constexpr int kSsWholeRun = 22;       // check box: the chart shows the whole run
inline constexpr int kSsFollowValues = 23;   // check box: the Y axis autoscales during a run

// Busy notice shown inside the main window while a graph autoscales.
inline constexpr int kBusy = 22;
inline constexpr int kBusyText = 2;

// Error message: one text shown while a slow job reports trouble.
inline constexpr int kError = 4;
inline constexpr int kErrorText = 2;
inline constexpr int kErrorOk = 3;

// Port choice: "Read data for "<device>" from which source?"
inline constexpr int kPort = 5;
inline constexpr int kPortPrompt = 2;
inline constexpr int kPortCom1 = 3;  // kPortCom1 + k - 1 is COMk, k = 1 ... 8
inline constexpr int kPortCancel = 11;
inline constexpr int kPortFile = 12;
inline constexpr int kPortInfo1 = 13;   // kPortInfo1 + k - 1: what COMk reads, k = 1 ... 8
inline constexpr int kPortList = 21;    // list: the system's serial ports
inline constexpr int kPortMap = 22;     // maps the listed port chosen to the COM of kPortMapCom
inline constexpr int kPortMapCom = 23;  // ring: COM1 ... COM8 (value k)
inline constexpr int kPortRescan = 24;  // lists the ports again and tries the dimmed COMs anew

// Meter configuration editor.
inline constexpr int kMeterConfig = 6;
inline constexpr int kMcName = 2;         // text: device name
inline constexpr int kMcBaud = 3;         // int: baud rate
inline constexpr int kMcPathLength = 4;   // double, metres
inline constexpr int kMcDepthOffset = 5;  // double
inline constexpr int kMcDepthScale = 6;   // double
inline constexpr int kMcDevType = 7;      // int, shown only
inline constexpr int kMcSerial = 8;       // int: low 16 bits of the serial number
inline constexpr int kMcTraceList = 9;    // list: one entry per trace
inline constexpr int kMcTraceName = 10;   // text
inline constexpr int kMcOffset = 11;      // double
inline constexpr int kMcColor = 12;       // int 0xRRGGBB
inline constexpr int kMcRefTemp = 13;     // double (structure version 0 only)
inline constexpr int kMcTempSlope = 14;   // double (structure version 0 only)
inline constexpr int kMcPreview = 15;     // strip chart: the trace's colour
inline constexpr int kMcZero = 16;        // button: zero offsets
inline constexpr int kMcZeroA = 17;       // check box
inline constexpr int kMcZeroC = 18;       // check box
inline constexpr int kMcCalibrate = 19;   // button: offset calibration
inline constexpr int kMcCalSamples = 20;  // int: samples to average
inline constexpr int kMcCalA = 21;        // check box
inline constexpr int kMcCalC = 22;        // check box
inline constexpr int kMcDepthCal = 23;    // button: depth zeroing
inline constexpr int kMcOk = 24;
inline constexpr int kMcCancel = 25;

// Hyperspectral meter configuration editor. The common fields have the
// numbers of the meter configuration editor's.
inline constexpr int kBenthConfig = 23;
inline constexpr int kBcName = 2;         // text: device name
inline constexpr int kBcBaud = 3;         // int: baud rate
inline constexpr int kBcPathLength = 4;   // double, metres
inline constexpr int kBcDepthOffset = 5;  // double
inline constexpr int kBcDepthScale = 6;   // double
inline constexpr int kBcDevType = 7;      // int, shown only
inline constexpr int kBcSerial = 8;       // int: low 16 bits of the serial number
inline constexpr int kBcTraceList = 9;    // check list: one entry per wavelength, ticked ones calibrate
inline constexpr int kBcTraceName = 10;   // text: the C trace's name
inline constexpr int kBcCOffset = 11;     // double
inline constexpr int kBcColor = 12;       // int 0xRRGGBB
inline constexpr int kBcAOffset = 13;     // double
inline constexpr int kBcPreview = 15;     // strip chart: the trace's colour
inline constexpr int kBcZero = 16;        // button: zero offsets
inline constexpr int kBcZeroA = 17;       // check box
inline constexpr int kBcZeroC = 18;       // check box
inline constexpr int kBcCalibrate = 19;   // button: offset calibration
inline constexpr int kBcCalSamples = 20;  // int: samples to average
inline constexpr int kBcCalA = 21;        // check box
inline constexpr int kBcCalC = 22;        // check box
inline constexpr int kBcDepthCal = 23;    // button: depth zeroing
inline constexpr int kBcOk = 24;
inline constexpr int kBcCancel = 25;
inline constexpr int kBcOutput = 26;      // ring: output percentage 100, 50, 33, 25
inline constexpr int kBcSetHardware = 27; // button: send spacing and baud rate to the instrument
inline constexpr int kBcSkip = 28;        // int, shown only: the skip value

// Self-test of the nine-wavelength meter: statistics of the last samples
// per wavelength against the limits of the device configuration.
inline constexpr int kNeritDiag = 8;
inline constexpr int kNdCalGraph = 2;     // graph: mean calibrated A and C, difference limits
inline constexpr int kNdCountsGraph = 3;  // graph: smallest raw counts, count limits
inline constexpr int kNdNoiseGraph = 4;   // graph: standard deviations, noise limits
inline constexpr int kNdKeyGraph = 5;     // graph: the key of the colours
inline constexpr int kNdTempMean = 6;     // double read-out, degrees
inline constexpr int kNdTempSdev = 7;     // double read-out
inline constexpr int kNdDepthMean = 8;    // double read-out, metres (hidden without depth)
inline constexpr int kNdStop = 9;         // button: ends the test and writes the report
inline constexpr int kNdDepthSdev = 10;   // double read-out (hidden without depth)
inline constexpr int kNdSamples = 11;     // int read-out: good samples so far
inline constexpr int kNdKeyA = 12;        // text beside the key's curves
inline constexpr int kNdKeyC = 13;
inline constexpr int kNdKeyRef = 14;
inline constexpr int kNdKeyLimit = 15;

// Self-test of the hyperspectral meter: the nine-wavelength meter's graphs
// over every wavelength the instrument outputs, plus the nonconformity of
// the A and C spectra against their limits.
inline constexpr int kBenthDiag = 7;
inline constexpr int kBdCalGraph = 2;        // graph: mean calibrated A and C, difference limits
inline constexpr int kBdCountsGraph = 3;     // graph: smallest raw counts, count limits
inline constexpr int kBdNoiseGraph = 4;      // graph: standard deviations, noise limits
inline constexpr int kBdKeyGraph = 5;        // graph: the key of the colours
inline constexpr int kBdTempMean = 6;        // double read-out, degrees
inline constexpr int kBdTempSdev = 7;        // double read-out
inline constexpr int kBdDepthMean = 8;       // double read-out, metres
inline constexpr int kBdNonconformGraph = 9; // graph: nonconformity of A and C, current limits
inline constexpr int kBdStop = 10;           // button: ends the test and writes the report
inline constexpr int kBdDepthSdev = 11;      // double read-out
inline constexpr int kBdSamples = 12;        // int read-out: good samples so far
inline constexpr int kBdKeyA = 13;           // text beside the key's curves
inline constexpr int kBdKeyC = 14;
inline constexpr int kBdKeyRef = 15;
inline constexpr int kBdKeyLimit = 16;

// Acquisition: which traces are shown, samples per recorded bin and bins
// per plotted point.
inline constexpr int kAcquisition = 30;
inline constexpr int kAcqTraces = 2;          // check list: one entry per trace with a heading
inline constexpr int kAcqAll = 3;             // button: tick every entry
inline constexpr int kAcqNone = 4;            // button: untick every entry
inline constexpr int kAcqBinsize = 5;         // int: the source's bin size
inline constexpr int kAcqDisplayBinsize = 6;  // int: the display bin size
inline constexpr int kAcqOk = 7;
inline constexpr int kAcqCancel = 8;
inline constexpr int kAcqAOnly = 9;           // button: tick the absorption traces only
inline constexpr int kAcqCOnly = 10;          // button: tick the attenuation traces only
inline constexpr int kAcqFrom = 11;           // double: shortest wavelength to select, nm
inline constexpr int kAcqTo = 12;             // double: longest wavelength to select, nm
inline constexpr int kAcqStep = 13;           // int: select every k-th wavelength
inline constexpr int kAcqSelect = 14;         // button: tick the wavelengths from ... to, every k-th

// Wait message: one text shown while something slow runs.
inline constexpr int kWait = 10;
inline constexpr int kWaitText = 2;
inline constexpr int kWaitProgress = 3;  // progress: how far a task that can be cancelled has come
inline constexpr int kWaitCancel = 4;    // button: cancels that task

// Deployment: the metadata each recording's companion carries, one control
// per deployment key (kDepCruise + k is key k for the first eight, the texts;
// then the station's position and SeaBASS's data type and status).
inline constexpr int kDeployment = 40;
inline constexpr int kDepCruise = 2;
inline constexpr int kDepStation = 3;
inline constexpr int kDepCast = 4;
inline constexpr int kDepInvestigators = 5;
inline constexpr int kDepAffiliation = 6;
inline constexpr int kDepContact = 7;
inline constexpr int kDepExperiment = 8;
inline constexpr int kDepNote = 9;
inline constexpr int kDepOk = 10;
inline constexpr int kDepCancel = 11;
inline constexpr int kDepHint = 12;  // text: where the values go
inline constexpr int kDepLatitude = 13;    // string: decimal degrees north ("" when not given)
inline constexpr int kDepLongitude = 14;   // string: decimal degrees east ("" when not given)
inline constexpr int kDepDataType = 15;    // ring: SeaBASS's data type (kSeaBassDataTypes)
inline constexpr int kDepDataStatus = 16;  // ring: SeaBASS's data status (kSeaBassDataStatuses)

// Position: the GPS receiver each run reads ([Position] of the settings).
inline constexpr int kPosition = 41;
inline constexpr int kPosSource = 2;  // string: "", COMk, a device path, udp:PORT, gpsd[:HOST[:PORT]]
inline constexpr int kPosBaud = 3;    // int: a serial receiver's speed
inline constexpr int kPosHint = 5;    // text: the forms of a source
inline constexpr int kPosOk = 6;
inline constexpr int kPosCancel = 7;

// Mark Event: an event of the run at the UTC time it is marked.
inline constexpr int kMarkEvent = 42;
inline constexpr int kEvKind = 2;    // ring: 0 note, 1 cast start, 2 cast end
inline constexpr int kEvNote = 3;    // string: the operator's words
inline constexpr int kEvTime = 4;    // text: the UTC time the event is marked at
inline constexpr int kEvOk = 5;
inline constexpr int kEvCancel = 6;

// Capture Time: the UTC of the first sample of a raw capture replayed
// without its time map.
inline constexpr int kCaptureTime = 43;
inline constexpr int kCapHint = 2;   // text: why it is asked
inline constexpr int kCapStart = 3;  // string: ISO 8601, or empty
inline constexpr int kCapOk = 4;
inline constexpr int kCapCancel = 5;

}  // namespace sondrix::panels
