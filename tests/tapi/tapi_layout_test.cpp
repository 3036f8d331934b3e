// Structures laid out in real buffers the way the provider fills them for TAPI: fixed part,
// then variable parts reached through their Size/Offset pairs. Included first on purpose: the
// header must stand on its own.
#include "tapi/tapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A DWORD-aligned byte buffer, as TAPI hands to a provider.
class Buffer {
 public:
  explicit Buffer(size_t bytes) : words_((bytes + 3) / 4, 0), size_(bytes) {}
  uint8_t* data() { return reinterpret_cast<uint8_t*>(words_.data()); }
  size_t size() const { return size_; }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(data());
  }
  DWORD DwordAt(size_t offset) {
    DWORD v;
    std::memcpy(&v, data() + offset, sizeof v);
    return v;
  }

 private:
  std::vector<DWORD> words_;
  size_t size_;
};

// Appends a variable part behind what the structure already uses, as a provider fills it.
template <typename T>
void AppendPart(T* s, DWORD T::*sizeField, DWORD T::*offsetField, const void* bytes, DWORD length) {
  s->*offsetField = s->dwUsedSize;
  s->*sizeField = length;
  std::memcpy(reinterpret_cast<uint8_t*>(s) + s->dwUsedSize, bytes, length);
  s->dwUsedSize += length;
  s->dwNeededSize = s->dwUsedSize;
}

// The provider's call information block: ten 256-byte party parts, 128 bytes of device-specific
// data and 260 bytes of call data behind the 324-byte fixed part, 3272 bytes in all.
TEST(TapiLayout, CallInfoVariablePartsStartBehindThe324ByteFixedPart) {
  constexpr DWORD kBlock = 3272;
  Buffer buf(kBlock);
  auto* info = buf.As<LINECALLINFO>();
  info->dwTotalSize = kBlock;
  info->dwUsedSize = sizeof(LINECALLINFO);

  DWORD LINECALLINFO::*const parties[][2] = {
      {&LINECALLINFO::dwCallerIDSize, &LINECALLINFO::dwCallerIDOffset},
      {&LINECALLINFO::dwCallerIDNameSize, &LINECALLINFO::dwCallerIDNameOffset},
      {&LINECALLINFO::dwCalledIDSize, &LINECALLINFO::dwCalledIDOffset},
      {&LINECALLINFO::dwCalledIDNameSize, &LINECALLINFO::dwCalledIDNameOffset},
      {&LINECALLINFO::dwConnectedIDSize, &LINECALLINFO::dwConnectedIDOffset},
      {&LINECALLINFO::dwConnectedIDNameSize, &LINECALLINFO::dwConnectedIDNameOffset},
      {&LINECALLINFO::dwRedirectionIDSize, &LINECALLINFO::dwRedirectionIDOffset},
      {&LINECALLINFO::dwRedirectionIDNameSize, &LINECALLINFO::dwRedirectionIDNameOffset},
      {&LINECALLINFO::dwRedirectingIDSize, &LINECALLINFO::dwRedirectingIDOffset},
      {&LINECALLINFO::dwRedirectingIDNameSize, &LINECALLINFO::dwRedirectingIDNameOffset},
  };
  std::vector<uint8_t> part(256);
  for (size_t i = 0; i < std::size(parties); ++i) {
    std::memset(part.data(), static_cast<int>('A' + i), part.size());
    AppendPart(info, parties[i][0], parties[i][1], part.data(), 256);
  }
  std::vector<uint8_t> devSpecific(128, 0xD5);
  AppendPart(info, &LINECALLINFO::dwDevSpecificSize, &LINECALLINFO::dwDevSpecificOffset,
             devSpecific.data(), 128);
  std::vector<uint8_t> callData(260, 0xCD);
  AppendPart(info, &LINECALLINFO::dwCallDataSize, &LINECALLINFO::dwCallDataOffset, callData.data(),
             260);

  EXPECT_EQ(info->dwCallerIDOffset, 324u);
  EXPECT_EQ(info->dwRedirectingIDNameOffset, 324u + 9 * 256);
  EXPECT_EQ(info->dwDevSpecificOffset, 2884u);
  EXPECT_EQ(info->dwCallDataOffset, 3012u);
  EXPECT_EQ(info->dwUsedSize, kBlock);

  // The offsets written through the structure are where a reader of raw bytes finds them.
  EXPECT_EQ(buf.DwordAt(116), 324u);   // dwCallerIDOffset
  EXPECT_EQ(buf.DwordAt(292), 2884u);  // dwDevSpecificOffset
  EXPECT_EQ(buf.DwordAt(304), 3012u);  // dwCallDataOffset
  EXPECT_EQ(buf.data()[info->dwCalledIDOffset], 'A' + 2);
  EXPECT_EQ(buf.data()[info->dwCallDataOffset + 259], 0xCD);
}

// hLine is a 32-bit HLINE: writing it must not spill into dwLineDeviceID on a 64-bit build.
TEST(TapiLayout, CallInfoLineHandleIsThirtyTwoBits) {
  Buffer buf(sizeof(LINECALLINFO));
  auto* info = buf.As<LINECALLINFO>();
  info->dwLineDeviceID = 0x12345678;
  info->hLine = 0xFFFFFFFF;
  EXPECT_EQ(buf.DwordAt(12), 0xFFFFFFFFu);
  EXPECT_EQ(buf.DwordAt(16), 0x12345678u);
}

// The answer of a device-ID query: a VARSTRING with one DWORD right behind it, 28 bytes.
TEST(TapiLayout, VarStringWithOneDwordIsTwentyEightBytes) {
  Buffer buf(64);
  auto* vs = buf.As<VARSTRING>();
  vs->dwTotalSize = 64;
  vs->dwUsedSize = sizeof(VARSTRING);
  vs->dwStringFormat = STRINGFORMAT_BINARY;
  const DWORD deviceId = 0x2A;
  AppendPart(vs, &VARSTRING::dwStringSize, &VARSTRING::dwStringOffset, &deviceId, 4);
  EXPECT_EQ(vs->dwStringOffset, 24u);
  EXPECT_EQ(vs->dwUsedSize, 28u);
  EXPECT_EQ(buf.DwordAt(24), 0x2Au);
  EXPECT_EQ(buf.DwordAt(12), STRINGFORMAT_BINARY);
}

// A forward list is an 8-byte head and 24-byte entries; a destination text placed right behind
// two entries starts at 8 + 48.
TEST(TapiLayout, ForwardListEntriesFollowTheEightByteHead) {
  Buffer buf(128);
  auto* list = buf.As<LINEFORWARDLIST>();
  list->dwNumEntries = 2;
  const uint8_t* first = reinterpret_cast<const uint8_t*>(&list->ForwardList[0]);
  const uint8_t* second = first + sizeof(LINEFORWARD);
  EXPECT_EQ(first - buf.data(), 8);
  EXPECT_EQ(second - buf.data(), 32);
  LINEFORWARD entry{};
  entry.dwForwardMode = LINEFORWARDMODE_UNCOND;
  entry.dwDestAddressSize = 8;
  entry.dwDestAddressOffset = 8 + 2 * sizeof(LINEFORWARD);
  std::memcpy(buf.data() + (second - buf.data()), &entry, sizeof entry);
  EXPECT_EQ(buf.DwordAt(32), LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(buf.DwordAt(32 + 20), 56u);
}

}  // namespace
