// SPDX-License-Identifier: GPL-3.0-or-later
// Status codes: the one list of every code that means something in Sondrix.
//
// Every operation returns a 32-bit signed status: 1 for success, a negative
// code for failure. -1 ... -508 are the serial-port library's own codes,
// passed through unchanged; -1000 ... -1050 are the program's; the -10xxx,
// -12xxx, -14xxx and -20xxx codes say "this class does not offer that
// operation" and carry no message. Codes are never reused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/serial.h"

namespace sondrix {

using Status = std::int32_t;

namespace status {

inline constexpr Status kOk = 1;

// --- Serial-port library (and its file-transfer functions) -----------------
inline constexpr Status kUnknownSystemError = -1;
inline constexpr Status kInvalidPortNumber = platform::com_error::kInvalidPortNumber;
inline constexpr Status kPortNotOpen = platform::com_error::kPortNotOpen;
inline constexpr Status kUnknownIoError = -4;
inline constexpr Status kUnexpectedInternalError = -5;
inline constexpr Status kNoSerialPortFound = -6;
inline constexpr Status kCannotOpenPort = platform::com_error::kCannotOpenPort;
inline constexpr Status kBufferAllocation = -11;
inline constexpr Status kUiOutOfMemory = -12;  // run-time: panel could not be loaded
inline constexpr Status kInvalidParameter = platform::com_error::kInvalidParameter;
inline constexpr Status kInvalidBaudRate = platform::com_error::kInvalidBaudRate;
inline constexpr Status kInvalidParity = platform::com_error::kInvalidParity;
inline constexpr Status kInvalidDataBits = platform::com_error::kInvalidDataBits;
inline constexpr Status kInvalidStopBits = platform::com_error::kInvalidStopBits;
inline constexpr Status kBadFileHandle = -90;
inline constexpr Status kFileIoError = -91;
inline constexpr Status kInvalidCount = -94;
inline constexpr Status kInvalidInterruptLevel = -97;
inline constexpr Status kIoTimeout = platform::com_error::kIoTimeout;
inline constexpr Status kValueNotByte = -104;
inline constexpr Status kInputQueueSize = -114;
inline constexpr Status kOutputQueueSize = -124;
inline constexpr Status kGeneralIoError = platform::com_error::kGeneralIoError;
inline constexpr Status kNullBuffer = -152;
inline constexpr Status kNoAcknowledgment = -257;
inline constexpr Status kSendRetryLimit = -258;
inline constexpr Status kReceiveRetryLimit = -259;
inline constexpr Status kUnexpectedEot = -260;
inline constexpr Status kPacketNumberUnreadable = -261;
inline constexpr Status kPacketNumberInconsistent = -262;
inline constexpr Status kPacketDataUnreadable = -263;
inline constexpr Status kChecksumUnreadable = -264;
inline constexpr Status kChecksumMismatch = -265;
inline constexpr Status kPacketExceedsQueue = -269;
inline constexpr Status kTransferOpenFile = -300;
inline constexpr Status kTransferReadFile = -301;
inline constexpr Status kNoInitialNak = -302;
inline constexpr Status kNoAckAfterEot = -303;
inline constexpr Status kTransferWriteFile = -304;
inline constexpr Status kNoSohOrEot = -305;
inline constexpr Status kTransferCancelled = -402;
inline constexpr Status kInvalidStartDelay = -503;
inline constexpr Status kInvalidMaxRetries = -504;
inline constexpr Status kInvalidWaitPeriod = -505;
inline constexpr Status kInvalidPacketSize = -506;
inline constexpr Status kCrcUnreadable = -507;
inline constexpr Status kCrcError = -508;

// --- Sondrix's own codes ---------------------------------------------------
inline constexpr Status kUnrecognisedData = -1000;
inline constexpr Status kBadArgument = -1001;
inline constexpr Status kCantOpenFile = -1002;
inline constexpr Status kTimedOut = -1003;
inline constexpr Status kBadConfigFormat = -1004;
inline constexpr Status kBadPortNumber = -1005;
inline constexpr Status kPortInUse = -1006;
inline constexpr Status kPortNotInUse = -1007;
inline constexpr Status kCantCloseFile = -1008;
inline constexpr Status kCantDeleteFile = -1009;
inline constexpr Status kCantRenameFile = -1010;
inline constexpr Status kBadDeviceType = -1011;
inline constexpr Status kCantWriteConfig = -1012;
inline constexpr Status kNoSuchHeading = -1013;
inline constexpr Status kReadFailed = -1014;
inline constexpr Status kWriteFailed = -1015;
inline constexpr Status kOutOfMemory = -1016;
inline constexpr Status kUnexpectedEof = -1017;
inline constexpr Status kPanelLoadFailed = -1018;  // no message
inline constexpr Status kPrintingFailed = -1019;
inline constexpr Status kFileNotFound = -1020;
inline constexpr Status kCancelled = -1021;  // never reported
inline constexpr Status kNoData = -1022;
inline constexpr Status kLostLine = -1023;  // status of a lost line; no message
inline constexpr Status kBadChecksum = -1024;
inline constexpr Status kCantOpenSource = -1025;
inline constexpr Status kNoDeviceInSettings = -1026;  // no message
inline constexpr Status kNoPortInSettings = -1027;    // no message
inline constexpr Status kDataOverrun = -1028;
inline constexpr Status kNotConnected = -1029;
inline constexpr Status kSerialMismatch = -1030;
inline constexpr Status kUnknownMeterType = -1031;
inline constexpr Status kConfigDeviceType = -1032;
inline constexpr Status kConfigBinSize = -1033;
inline constexpr Status kDisplayConfigOpen = -1034;
inline constexpr Status kConfigGraphType = -1035;
inline constexpr Status kConfigGraphInfo = -1036;
inline constexpr Status kConfigSkip = -1037;
inline constexpr Status kConfigDepthCal = -1038;
inline constexpr Status kConfigTempBinCount = -1039;
inline constexpr Status kConfigTempBins = -1040;
inline constexpr Status kConfigTraceInfo = -1041;
inline constexpr Status kConfigPathLength = -1042;
inline constexpr Status kConfigStripChart = -1043;
inline constexpr Status kNotConfigFile = -1044;
inline constexpr Status kConfigSerialNumber = -1045;
inline constexpr Status kConfigPrematureEof = -1046;
inline constexpr Status kNoAcknowledgement = -1047;
inline constexpr Status kSkipMismatch = -1048;
inline constexpr Status kPacketsDontFit = -1049;
// The time-stamped output name of an unattended set-up would not fit.
inline constexpr Status kOutputNameTooLong = -1050;

// --- Codes without a message: "not offered" defaults and internal results ---
inline constexpr Status kNoSourceAttached = -9001;  // acquisition dialog without a source

// Display operations without a display or source (or line).
inline constexpr Status kDisplayInitPlotNoSource = -10101;
inline constexpr Status kDisplayPlotNoSource = -10102;
inline constexpr Status kDisplayWriteConfigNoSource = -10103;
inline constexpr Status kDisplayReadConfigNoSource = -10104;
inline constexpr Status kDisplayLabelsNoSource = -10105;

// Device defaults.
inline constexpr Status kDevNoTraceCount = -10001;
inline constexpr Status kDevNoInTraceCount = -10002;
inline constexpr Status kDevNoWriteConfig = -10003;
inline constexpr Status kDevNoReadConfig = -10004;
inline constexpr Status kDevNoReadData = -10005;
inline constexpr Status kDevNoColors = -10006;
inline constexpr Status kDevNoSetOrigBinsize = -10007;
inline constexpr Status kDevNoID = -10008;
inline constexpr Status kDevNoNewDataFile = -10009;
inline constexpr Status kDevNoStatus = -10010;
inline constexpr Status kDevNoSetPort = -10011;
inline constexpr Status kDevNoGetPort = -10012;
inline constexpr Status kDevNoEditConfig = -10013;  // also GetSamplesPerRec
inline constexpr Status kDevNoPortType = -10014;    // also Diagnostics
inline constexpr Status kDevNoSaveConfig = -10015;
inline constexpr Status kDevNoTraceMap = -100015;
inline constexpr Status kDevNoConfigInfo = -100016;

// Source defaults.
inline constexpr Status kSrcNoColors = -10201;  // also GetWavelengths
inline constexpr Status kSrcNoSetOrigBinsize = -10202;
inline constexpr Status kSrcNoGetOrigBinsize = -10203;
inline constexpr Status kSrcNoDate = -10204;
inline constexpr Status kSrcNoID = -10205;
inline constexpr Status kSrcNoReadData = -10206;
inline constexpr Status kSrcNoCanRead = -10207;
inline constexpr Status kSrcNoMustRead = -10208;
inline constexpr Status kSrcNoTraceCount = -10209;
inline constexpr Status kSrcNoInTraceCount = -10210;
inline constexpr Status kSrcNoWriteConfig = -10211;
inline constexpr Status kSrcNoReadConfig = -10212;  // also GetTraceMap
inline constexpr Status kSrcNoNewDataFile = -10213;  // also GetConfigInfo
inline constexpr Status kSrcNoSetPort = -10214;
inline constexpr Status kSrcNoGetPort = -10215;  // also GetStatus
inline constexpr Status kSrcNoEditConfig = -10216;
inline constexpr Status kSrcNoPromptForDescr = -10217;
inline constexpr Status kSrcNoPortType = -10218;
inline constexpr Status kSrcNoSaveConfig = -10219;
inline constexpr Status kSrcNoSamplesPerRec = -10220;  // also GetDevType's pattern
inline constexpr Status kSrcNoDiagnostics = -10221;

// Meter defaults.
inline constexpr Status kMeterNoRefLineLen = -10301;
inline constexpr Status kMeterNoDataLineLen = -10302;
inline constexpr Status kMeterNoSamplesPerRec = -10303;
inline constexpr Status kMeterNoTraceCount = -10304;
inline constexpr Status kMeterNoInTraceCount = -10305;  // also GetTraceMap
inline constexpr Status kMeterNoNewDataFile = -10306;
inline constexpr Status kMeterNoDiagnostics = -10307;

// DataBuffer defaults.
inline constexpr Status kBufNoSync = -10501;
inline constexpr Status kBufNoReadRecord = -10502;
inline constexpr Status kBufNoLinesAvailable = -10503;
inline constexpr Status kBufNoBytesAvailable = -10504;
inline constexpr Status kBufNoSetParams = -10505;
inline constexpr Status kBufNoBufferSize = -10506;

// DataFile defaults.
inline constexpr Status kFileNoTraceCount = -10601;
inline constexpr Status kFileNoInTraceCount = -10602;
inline constexpr Status kFileNoReadData = -10603;
inline constexpr Status kFileNoWriteData = -10604;
inline constexpr Status kFileNoColors = -10605;  // also GetWavelengths, GetTraceMap
inline constexpr Status kFileNoID = -10606;

// MeterFile defaults.
inline constexpr Status kMeterFileNoTraceCount = -10701;
inline constexpr Status kMeterFileNoInTraceCount = -10702;

// Port without a name (no port number yet) or without an open file.
inline constexpr Status kPortNotNamed = -10801;

// Colour word that is neither a name nor a number.
inline constexpr Status kNotAColor = -11001;

// DPort defaults.
inline constexpr Status kPortNoReset = -12001;
inline constexpr Status kPortNoOpen = -12002;
inline constexpr Status kPortNoClose = -12003;
inline constexpr Status kPortNoReadLine = -12004;
inline constexpr Status kPortNoBytesAvail = -12005;
inline constexpr Status kPortNoSync = -12006;
inline constexpr Status kPortNoRead = -12007;
inline constexpr Status kPortNoPromptForPort = -12008;
inline constexpr Status kPortNoBufferSize = -12009;
inline constexpr Status kPortNoSetName = -12010;
inline constexpr Status kPortNoGetName = -12011;
inline constexpr Status kPortNoSearch = -12012;
inline constexpr Status kPortNoWrite = -12013;
inline constexpr Status kPortNoSaveRaw = -12014;

// Graph defaults.
inline constexpr Status kGraphNoUserConfigure = -14001;
inline constexpr Status kGraphNoSetConfig = -14002;
inline constexpr Status kGraphNoHide = -14003;
inline constexpr Status kGraphNoWriteConfig = -14004;
inline constexpr Status kGraphNoReadConfig = -14005;
inline constexpr Status kGraphNoInitPlot = -14006;
inline constexpr Status kGraphNoPlot = -14007;
inline constexpr Status kGraphNoShow = -14008;
inline constexpr Status kGraphNoDeletePlots = -14009;
inline constexpr Status kGraphNoGetMenu = -14010;

// Config defaults.
inline constexpr Status kConfigNoColors = -20001;
inline constexpr Status kConfigNoWavelengths = -20002;
inline constexpr Status kConfigNoEditor = -20003;  // also the array helpers' bad count

}  // namespace status

// The user's text for a code, or nothing for a code that has no message
// (success, cancel, the "not offered" defaults, codes nobody knows).
std::optional<std::string_view> StatusMessage(Status code);

// What Error_Report shows for a code: its message, or
// "Internal error: unknown error <code>". Empty for 1 and -1021.
std::string StatusText(Status code);

}  // namespace sondrix
