// Panel and control ids of the resource file resources/sondrix.uir.
// The numbers only name the elements; the resource file defines them and a
// test keeps the two in step.
#pragma once

namespace sondrix::panels {

// Main window (built with the application).
inline constexpr int kMain = 1;
inline constexpr int kMainDebugLine = 40;  // text: lost-sample read-out, doubles as debug line

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
inline constexpr int kBenthConfig = 21;
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

// Wait message: one text shown while something slow runs.
inline constexpr int kWait = 10;
inline constexpr int kWaitText = 2;

}  // namespace sondrix::panels
