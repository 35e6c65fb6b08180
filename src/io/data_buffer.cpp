// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/data_buffer.h"

namespace sondrix {

Status DataBuffer::ReadRecord(int& /*last*/) { return status::kBufNoReadRecord; }
Status DataBuffer::LinesAvailable() { return status::kBufNoLinesAvailable; }
Status DataBuffer::BytesAvailable() { return status::kBufNoBytesAvailable; }

Status DataBuffer::Sync(std::uint32_t& serial, std::uint32_t& /*word2*/,
                        std::uint32_t& /*word3*/) {
  serial = 0;
  return status::kBufNoSync;
}

Status DataBuffer::BufferSize() { return status::kBufNoBufferSize; }
const RefBlock* DataBuffer::GetRefp() { return nullptr; }
const DataSample* DataBuffer::GetDatap(int /*index*/) { return nullptr; }
DataBuffer::~DataBuffer() = default;
StreamEvents DataBuffer::Events() const { return {}; }

Status DataBuffer::Resync(std::uint32_t& /*serial*/) { return status::kUnrecognisedData; }
Status DataBuffer::DiscardInput() { return status::kOk; }
int DataBuffer::PacketBytes() const { return 0; }

}  // namespace sondrix
