// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/status.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sondrix {
namespace {

using Row = std::pair<Status, std::string_view>;

// The message table. Codes without a row have no message of their own.
constexpr std::array kMessages = {
    Row{-1, "Unknown system error."},
    Row{-2, "Invalid port number. Is the port number you chose correctly configured in Windows?\n(See Control Panel, Ports)"},
    Row{-3, "Port is not open."},
    Row{-4, "Unknown I/O error.  Is the port number you chose correctly configured in Windows?\n(See Control Panel, Ports)"},
    Row{-5, "Unexpected internal error. (Is the port used by some other driver?)"},
    Row{-6, "No serial port found."},
    Row{-7, "Cannot open port. Is the port used by some other driver?\nMaybe a printer or a modem?"},
    Row{-11, "Memory allocation error in creating buffers."},
    Row{-13, "Invalid parameter."},
    Row{-14, "Invalid baud rate."},
    Row{-24, "Invalid parity."},
    Row{-34, "Illegal number of data bits."},
    Row{-44, "Illegal number of stop bits."},
    Row{-90, "Bad file handle."},
    Row{-91, "Error in performing file I/O."},
    Row{-94, "Invalid count (Must be greater than or equal to 0)."},
    Row{-97, "Invalid interrupt level."},
    Row{-99, "I/O operation timed out. (Is the device plugged in and turned on?)"},
    Row{-104, "Value must be between 0 and 255."},
    Row{-114, "Requested input queue size must be 0 or greater. "},
    Row{-124, "Requested output queue size must be 0 or greater. "},
    Row{-151, "General I/O error."},
    Row{-152, "Buffer parameter is NULL."},
    Row{-257, "Packet was sent but no acknowledgment was received."},
    Row{-258, "Packet not sent within retry limit. "},
    Row{-259, "Packet not received within retry limit."},
    Row{-260, "End of transmission character encountered when start of data character expected."},
    Row{-261, "Packet number could not be read."},
    Row{-262, "Packet number inconsistency."},
    Row{-263, "Packet data could not be read."},
    Row{-264, "Checksum could not be read."},
    Row{-265, "Checksum received did not match computed checksum."},
    Row{-269, "Packet size exceeds input queue size."},
    Row{-300, "Error opening file."},
    Row{-301, "Error reading file."},
    Row{-302, "Did not receive the initial negative acknowledgment character."},
    Row{-303, "Did not receive acknowledgment after the end of transmission character was sent."},
    Row{-304, "Error while writing to file."},
    Row{-305, "Did not receive either a start of data or end of transmission character when expected."},
    Row{-402, "Transfer was canceled because the CAN character was received."},
    Row{-503, "Invalid start delay."},
    Row{-504, "Invalid maximum number of retries."},
    Row{-505, "Invalid wait period."},
    Row{-506, "Invalid packet size."},
    Row{-507, "Unable to read CRC."},
    Row{-508, "CRC error."},
    Row{-1000, "Can't recognize data format coming from source.\nIs the baud rate set correctly?"},
    Row{-1001, "Internal error: bad argument"},
    Row{-1002, "Can't open file"},
    Row{-1003, "Connection timed out"},
    Row{-1004, "Bad format for configuration file."},
    Row{-1005, "Bad port number"},
    Row{-1006, "Port is being used"},
    Row{-1007, "Port is not being used"},
    Row{-1008, "Can't close file"},
    Row{-1009, "Can't delete file"},
    Row{-1010, "Can't rename file"},
    Row{-1011, "Bad device type"},
    Row{-1012, "Can't write configuration file"},
    Row{-1013, "Internal error: no such heading"},
    Row{-1014, "Read failed"},
    Row{-1015, "Write failed"},
    Row{-1016, "Out of memory"},
    Row{-1017, "Unexpected end of file"},
    Row{-1019, "Printing failed"},
    Row{-1020, "File not found"},
    Row{-1022, "Data not available from source"},
    Row{-1024, "Bad check sum"},
    Row{-1025, "Cant Open Source"},
    Row{-1028, "Data overrun on RS232 port"},
    Row{-1029, "Source is not connected to a device"},
    Row{-1030, "Serial numbers do not match"},
    Row{-1031, "Unknown meter type"},
    Row{-1032, "Found problem in configuration file: the device type is not recognized."},
    Row{-1033, "Found problem in configuration file: failed trying to read the bin size."},
    Row{-1034, "Could not open the display configuration file."},
    Row{-1035, "Found problem in configuration file: the graph type is not recognized."},
    Row{-1036, "Found problem in configuration file: the graph information is not recognized."},
    Row{-1037, "Found problem in configuration file: failed while reading the skip value."},
    Row{-1038, "Found problem in configuration file: failed while reading the depth calibration information."},
    Row{-1039, "Found problem in configuration file: failed while reading the number of temperature bins."},
    Row{-1040, "Found problem in configuration file: failed while reading the temperature bins."},
    Row{-1041, "Found problem in configuration file: failed while reading the trace information."},
    Row{-1042, "Found problem in configuration file: failed while reading the pathlength."},
    Row{-1043, "Found problem in configuration file: failed while reading the strip chart values."},
    Row{-1044, "File does not appear to be a Sondrix configuration file."},
    Row{-1045, "Found problem in configuration file: failed while reading the serial number."},
    Row{-1046, "Premature end of file in configuration file."},
    Row{-1047, "Acknowledgement not received."},
    Row{-1048, "Configuration file and device don't agree on skip value."},
    Row{-1049, "The instrument's packets do not fit the device file: it sends another number of wavelengths."},
    Row{-1050, "The output file name of Rudud.ini (OutputFilename) is too long: with the run's time "
               "stamp a file name may have at most 259 characters, and at most 255 after its "
               "folder."},
};

constexpr bool SortedByDescendingCode() {
  for (std::size_t i = 1; i < kMessages.size(); ++i)
    if (!(kMessages[i - 1].first > kMessages[i].first)) return false;
  return true;
}
static_assert(SortedByDescendingCode(), "message table must be sorted, one row per code");

}  // namespace

std::optional<std::string_view> StatusMessage(Status code) {
  auto it = std::lower_bound(kMessages.begin(), kMessages.end(), code,
                             [](const Row& row, Status c) { return row.first > c; });
  if (it == kMessages.end() || it->first != code) return std::nullopt;
  return it->second;
}

std::string StatusText(Status code) {
  if (code == status::kOk || code == status::kCancelled) return {};
  if (auto message = StatusMessage(code)) return std::string(*message);
  return "Internal error: unknown error " + std::to_string(code);
}

}  // namespace sondrix
