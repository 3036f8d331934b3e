// The queue group download.
#include "provider/core/group_download.h"

#include <array>
#include <cstring>
#include <vector>

#include "provider/core/memory_pool.h"
#include "provider/core/provider_log.h"

namespace qrvn::provider {
namespace {

// Where the member list lives in a queue line's LINEADDRESSSTATUS.
constexpr size_t kStatusDevSpecific = 220;
// The group data may grow past its first size only up to this bound.
constexpr uint32_t kGroupDataLimit = 1u << 20;
constexpr uint32_t kRecordStart = 13;

struct QueueInfo {
  uint8_t subkind;
  uint32_t storedKind;
};
constexpr QueueInfo kQueues[4] = {{2, 1}, {1, 2}, {4, 3}, {3, 4}};

uint32_t U16(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

// The queue line of a group record type, or -1.
int QueueOfType(uint8_t type) {
  switch (type) {
    case 23:
      return kQueueQO;
    case 20:
    case 21:
    case 22:
    case 25:
    case 26:
    case 29:
      return kQueueQH;
    case 38:
      return kQueueQIO;
    case 35:
    case 36:
    case 37:
    case 39:
      return kQueueQIH;
    default:
      return -1;
  }
}

uint32_t ReadWord(const LINEADDRESSSTATUS* status, uint32_t word) {
  uint32_t value = 0;
  std::memcpy(&value, reinterpret_cast<const uint8_t*>(status) + kStatusDevSpecific + 4 * word, 4);
  return value;
}

void WriteWord(LINEADDRESSSTATUS* status, uint32_t word, uint32_t value) {
  std::memcpy(reinterpret_cast<uint8_t*>(status) + kStatusDevSpecific + 4 * word, &value, 4);
}

// A pool block freed when it goes out of scope.
class PoolBuffer {
 public:
  explicit PoolBuffer(uint32_t size)
      : data_(static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, size))), size_(size) {}
  ~PoolBuffer() {
    if (data_ != nullptr) FreeMemory(data_);
  }
  PoolBuffer(const PoolBuffer&) = delete;
  PoolBuffer& operator=(const PoolBuffer&) = delete;
  uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }
  // Grows to at least size bytes keeping the contents; false without memory.
  bool Grow(uint32_t size) {
    if (size <= size_) return true;
    auto* bigger = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, size));
    if (bigger == nullptr) return false;
    std::memcpy(bigger, data_, size_);
    FreeMemory(data_);
    data_ = bigger;
    size_ = size;
    return true;
  }

 private:
  uint8_t* data_;
  uint32_t size_;
};

class Download {
 public:
  explicit Download(const GroupDownloadContext& context) : c_(context) {}

  int Run() {
    PoolBuffer data(c_.pbxType == 4 ? 8192 : 2048);
    if (data.data() == nullptr) return 0;
    data_ = &data;
    bool ok = Records() && Tables() && MemberMaps() && MemberLists();
    data_ = nullptr;
    return ok ? 1 : 0;
  }

 private:
  // Builds one request into the request buffer and exchanges it; the reply length or -1.
  int32_t Exchange(uint8_t code, const MessageParam* params, int32_t count, uint8_t* reply,
                   uint32_t replySize) {
    int32_t length = BuildMessage(c_.codec, code, request_.data(), request_.size(), params, count);
    if (length < 0 || !c_.exchange) return -1;
    int32_t n = c_.exchange(request_.data(), length, reply, static_cast<int32_t>(replySize));
    if (n < 0) return -1;
    return n > static_cast<int32_t>(replySize) ? static_cast<int32_t>(replySize) : n;
  }

  // Enters one record's number in the feature and special tables as its type asks.
  bool EnterNumbers(const uint8_t* r, bool paged) {
    uint8_t type = r[0];
    uint32_t len = r[3];
    if (len == 0) return true;
    const char* digits = reinterpret_cast<const char*>(r + 4);
    uint16_t number = static_cast<uint16_t>(U16(r + 1));
    uint8_t featureType = 0;
    if (type == 26) featureType = 7;
    if (paged && type == 35) featureType = 11;
    if (paged && type == 39) featureType = 39;
    if (featureType != 0) {
      if (c_.directory->PutFeature(*c_.featuresUsed, featureType, number, digits, len) == 0) {
        return false;  // the feature table is full
      }
      ++*c_.featuresUsed;
    }
    if (!paged || type == 23) return true;
    if (*c_.specialsUsed >= c_.directory->Sizes().specials) return false;
    uint8_t specialType = 0;
    if (type == 20 || type == 21 || type == 22 || type == 24 || type == 25) specialType = 1;
    if (type == 36 || type == 37) specialType = 3;
    if (specialType != 0) {
      c_.directory->PutSpecial(*c_.specialsUsed, specialType, number, digits, len);
      ++*c_.specialsUsed;
    }
    return true;
  }

  // Walks the records of bytes [from, end): every record must be whole with a number of at
  // most 4 digits. Calls visit for each; false when a record is bad or visit refuses.
  template <typename Visit>
  static bool Walk(const uint8_t* bytes, uint32_t from, uint32_t end, uint32_t limit, Visit visit) {
    uint32_t p = from;
    uint32_t seen = 0;
    while (p < end && seen < limit) {
      if (end - p < 4) return false;
      uint32_t len = bytes[p + 3];
      if (len > 4 || end - p < 9 + len) return false;
      if (!visit(bytes + p)) return false;
      p += 9 + len;
      ++seen;
    }
    return true;
  }

  bool Records() {
    const uint8_t kAllGroups[2] = {0xFF, 0xFF};
    const uint8_t deviceClass = 7;
    if (c_.ctiVersion == 0x13000) {
      MessageParam params[2] = {{1, &deviceClass, 1}, {2, kAllGroups, 2}};
      int32_t n = Exchange(kDeviceDataRequest, params, 2, data_->data(), data_->size());
      if (n < 0) return false;
      ParsedParam parsed[32];
      int32_t count = ParseMessage(c_.codec, parsed, 32, data_->data(), n);
      if (count < 0) return false;
      bool tag2 = false;
      for (int32_t i = 0; i < count; ++i) tag2 = tag2 || parsed[i].tag == 2;
      if (!tag2 || count < 2) return false;
      uint32_t records = parsed[1].length >= 2 ? U16(data_->data() + parsed[1].offset) : 0;
      length_ = static_cast<uint32_t>(n);
      if (records == 0) {
        length_ = 0;
        return true;
      }
      return Walk(data_->data(), kRecordStart, length_, records,
                  [&](const uint8_t* r) { return EnterNumbers(r, false); });
    }
    PoolBuffer page(data_->size());
    if (page.data() == nullptr) return false;
    uint8_t key[4] = {};
    for (;;) {
      MessageParam params[3] = {{1, &deviceClass, 1}, {2, kAllGroups, 2}, {3, key, 4}};
      int32_t n = Exchange(kDeviceDataRequest, params, 3, page.data(), page.size());
      if (n < 0) return false;
      ParsedParam parsed[32];
      int32_t count = ParseMessage(c_.codec, parsed, 32, page.data(), n);
      if (count < 0) return false;
      if (count < 2 || parsed[1].length < 2 || U16(page.data() + parsed[1].offset) == 0) break;
      const uint32_t end = static_cast<uint32_t>(n);
      if (end <= kRecordStart) break;
      // The first reply is kept whole, later ones without their 13 leading bytes.
      uint32_t from = length_ == 0 ? 0 : kRecordStart;
      uint32_t add = end - from;
      if (length_ + add > data_->size()) {
        uint32_t want = data_->size();
        while (want < length_ + add && want < kGroupDataLimit) want *= 2;
        if (length_ + add > want || !data_->Grow(want)) return false;
      }
      std::memcpy(data_->data() + length_, page.data() + from, add);
      length_ += add;
      const uint8_t* last = nullptr;
      if (!Walk(page.data(), kRecordStart, end, UINT32_MAX, [&](const uint8_t* r) {
            last = r;
            return EnterNumbers(r, true);
          })) {
        return false;
      }
      if (last == nullptr) break;
      key[0] = 0;
      key[1] = last[0];
      key[2] = last[1];
      key[3] = last[2];
    }
    return true;
  }

  bool Tables() {
    uint32_t counts[4] = {};
    auto count = [&](const uint8_t* r) {
      int q = QueueOfType(r[0]);
      if (q >= 0) ++counts[q];
      return true;
    };
    if (length_ > kRecordStart && !Walk(data_->data(), kRecordStart, length_, UINT32_MAX, count)) {
      return false;
    }
    for (uint32_t q = 0; q < 4; ++q) {
      LineDevice* line = c_.queueLines[q];
      if (counts[q] == 0 || line == nullptr) continue;
      auto* table = static_cast<GroupEntry*>(
          AllocMemory(kPoolZeroInit, static_cast<uint32_t>(sizeof(GroupEntry) * counts[q])));
      if (table == nullptr) return false;
      // Attached at once, so that releasing the model frees it whatever happens next.
      line->groups = table;
      line->groupCount = 0;
    }
    auto insert = [&](const uint8_t* r) {
      int q = QueueOfType(r[0]);
      LineDevice* line = q >= 0 ? c_.queueLines[q] : nullptr;
      if (line == nullptr || line->groups == nullptr) return true;
      GroupEntry entry{};
      entry.type = r[0];
      entry.number = static_cast<uint16_t>(U16(r + 1));
      std::memcpy(entry.dial, r + 4, r[3]);
      const uint8_t* tail = r + 4 + r[3];
      entry.attribute = tail[0];
      entry.value1 = static_cast<uint16_t>(U16(tail + 1));
      entry.value2 = static_cast<uint16_t>(U16(tail + 3));
      uint32_t at = 0;
      while (at < line->groupCount &&
             (line->groups[at].type < entry.type ||
              (line->groups[at].type == entry.type && line->groups[at].number <= entry.number))) {
        ++at;
      }
      for (uint32_t i = line->groupCount; i > at; --i) line->groups[i] = line->groups[i - 1];
      line->groups[at] = entry;
      ++line->groupCount;
      return true;
    };
    if (length_ > kRecordStart) Walk(data_->data(), kRecordStart, length_, UINT32_MAX, insert);
    return true;
  }

  // The kind-33 parameter that names a group of queue line q.
  static void GroupParam(uint32_t q, uint16_t number, uint8_t out[8]) {
    const uint8_t p[8] = {33,
                          0,
                          0,
                          kQueues[q].subkind,
                          static_cast<uint8_t>(number >> 8),
                          static_cast<uint8_t>(number),
                          0,
                          0};
    std::memcpy(out, p, 8);
  }

  // The lines the member steps visit: QO and QH always, QIO and QIH when they have groups.
  bool Visits(uint32_t q) const {
    const LineDevice* line = c_.queueLines[q];
    if (line == nullptr) return false;
    return q <= kQueueQH || line->groupCount > 0;
  }

  bool MemberMaps() {
    for (uint32_t q = 0; q < 4; ++q) {
      if (!Visits(q)) continue;
      LineDevice* line = c_.queueLines[q];
      for (uint32_t g = 0; g < line->groupCount; ++g) {
        GroupEntry& group = line->groups[g];
        uint8_t param[8];
        GroupParam(q, group.number, param);
        const uint8_t deviceClass = 32;
        MessageParam params[2] = {{1, &deviceClass, 1}, {2, param, 8}};
        int32_t n = Exchange(kDeviceDataRequest, params, 2, data_->data(), data_->size());
        if (n < 0) {
          if (q == kQueueQO) return false;
          continue;
        }
        ParsedParam parsed[32];
        int32_t count = ParseMessage(c_.codec, parsed, 32, data_->data(), n);
        const bool undecodable = count == kCodecTooShort || count == kCodecNoVersion;
        if (count < 0 && q == kQueueQO) return false;
        if (undecodable) continue;
        if (count < 0) count = -count;
        const ParsedParam* map = nullptr;
        for (int32_t i = 0; i < count && map == nullptr; ++i) {
          if (parsed[i].tag == 2) map = &parsed[i];
        }
        if (map == nullptr) {
          if (q == kQueueQO) return false;
          continue;
        }
        if (map->length < 6) continue;
        const uint8_t* value = data_->data() + map->offset;
        uint32_t bytes = 8u * value[5];
        if (bytes > map->length - 6) bytes = map->length - 6;  // never past the reply
        if (bytes == 0) continue;
        auto* copy = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, bytes));
        if (copy == nullptr) continue;  // the group keeps no map
        std::memcpy(copy, value + 6, bytes);
        group.memberMap = copy;
        group.memberMapLength = bytes;
      }
    }
    return true;
  }

  bool MemberLists() {
    for (uint32_t q = 0; q < 4; ++q) {
      if (!Visits(q)) continue;
      if (!MemberList(q)) return false;
    }
    return true;
  }

  bool MemberList(uint32_t q) {
    LineDevice* line = c_.queueLines[q];
    LINEADDRESSSTATUS* status = c_.queueStatus[q];
    if (status == nullptr) return false;
    std::vector<MemberEntry> list;
    for (uint32_t g = 0; g < line->groupCount; ++g) {
      const GroupEntry& group = line->groups[g];
      uint8_t param[8];
      GroupParam(q, group.number, param);
      MessageParam params[1] = {{1, param, 8}};
      int32_t n = Exchange(kGroupMemberRequest, params, 1, data_->data(), data_->size());
      if (n < 0) return false;
      const uint8_t* reply = data_->data();
      ParsedParam parsed[32];
      int32_t count = ParseMessage(c_.codec, parsed, 32, reply, n);
      if (count == kCodecTooShort || count == kCodecNoVersion) return false;
      if (n >= 2 && reply[1] == kKindNegativeReply) {
        if (q == kQueueQO && count != 0 && parsed[0].length >= 1 && reply[parsed[0].offset] == 9) {
          list.clear();
          break;
        }
        return false;
      }
      const ParsedParam* members = nullptr;
      for (int32_t i = 0; i < count && members == nullptr; ++i) {
        if (parsed[i].tag == 3) members = &parsed[i];
      }
      if (members == nullptr || members->length < 2) continue;
      const uint8_t* value = reply + members->offset;
      const uint32_t end = members->length;
      uint32_t k = U16(value);
      std::vector<MemberEntry> fresh;
      uint32_t p = 2;
      for (uint32_t m = 0; m < k && p < end; ++m) {
        uint32_t len = value[p];
        if (len > end - p - 1) break;  // a member running past the parameter
        uint32_t key = 0;
        if (c_.directory->DecodeDevice(value + p + 1, len, &key, 1) >= 1) {
          fresh.push_back({kQueues[q].storedKind, group.number, c_.lineDeviceIdBase + (key >> 16)});
        }
        p += 1 + len;
      }
      if (fresh.empty()) continue;
      size_t at = 0;
      while (at < list.size() && list[at].groupNumber <= group.number) ++at;
      list.insert(list.begin() + static_cast<long>(at), fresh.begin(), fresh.end());
    }
    return Store(status, list);
  }

  // Puts a member list in a new pool block referenced from the address status.
  static bool Store(LINEADDRESSSTATUS* status, const std::vector<MemberEntry>& list) {
    if (uint32_t old = ReadWord(status, kMemberListBlockWord); old != 0) {
      if (void* block = FindBlock(old); block != nullptr) FreeMemory(block);
    }
    WriteWord(status, kMemberListCountWord, 0);
    WriteWord(status, kMemberListSizeWord, 0);
    WriteWord(status, kMemberListBlockWord, 0);
    if (list.empty()) return true;
    uint32_t bytes = static_cast<uint32_t>(list.size() * sizeof(MemberEntry));
    void* block = AllocMemory(kPoolZeroInit, bytes);
    if (block == nullptr) return false;
    std::memcpy(block, list.data(), bytes);
    WriteWord(status, kMemberListCountWord, static_cast<uint32_t>(list.size()));
    WriteWord(status, kMemberListSizeWord, bytes);
    WriteWord(status, kMemberListBlockWord, BlockSerial(block));
    return true;
  }

  const GroupDownloadContext& c_;
  PoolBuffer* data_ = nullptr;
  uint32_t length_ = 0;
  std::array<uint8_t, kMaxMessage> request_{};
};

}  // namespace

int DownloadGroupData(const GroupDownloadContext& context) {
  if (context.directory == nullptr || context.featuresUsed == nullptr ||
      context.specialsUsed == nullptr) {
    return 0;
  }
  Download download(context);
  return download.Run();
}

void ReleaseGroupData(LineDevice& line, LINEADDRESSSTATUS* status) {
  if (line.groups != nullptr) {
    for (uint32_t g = 0; g < line.groupCount; ++g) {
      if (line.groups[g].memberMap != nullptr) FreeMemory(line.groups[g].memberMap);
    }
    FreeMemory(line.groups);
  }
  line.groups = nullptr;
  line.groupCount = 0;
  if (status == nullptr) return;
  if (uint32_t serial = ReadWord(status, kMemberListBlockWord); serial != 0) {
    if (void* block = FindBlock(serial); block != nullptr) FreeMemory(block);
  }
  WriteWord(status, kMemberListCountWord, 0);
  WriteWord(status, kMemberListSizeWord, 0);
  WriteWord(status, kMemberListBlockWord, 0);
}

const MemberEntry* MemberList(const LINEADDRESSSTATUS* status, uint32_t* count) {
  if (count != nullptr) *count = 0;
  if (status == nullptr) return nullptr;
  uint32_t serial = ReadWord(status, kMemberListBlockWord);
  if (serial == 0) return nullptr;
  if (count != nullptr) *count = ReadWord(status, kMemberListCountWord);
  return static_cast<const MemberEntry*>(FindBlock(serial));
}

}  // namespace qrvn::provider
