#include "resources/resfile.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "base/log.h"
#include "resources/parser.h"

namespace {

constexpr size_t kHeaderSize = 13;
constexpr size_t kMinRecordSize = 13;

// Deflate cannot expand data by more than about 1032:1, so a declared
// unpacked size beyond this bound is a lie; the buffer never needs to be
// larger, whatever the table claims.
uint64_t inflateBound(uint32_t storedSize) { return uint64_t(storedSize) * 1040 + 4096; }

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Reads the entry table in large blocks and refuses to step past the end of
// the archive, however large the counts and lengths in it claim to be.
class TableReader {
 public:
  TableReader(FILE* f, uint64_t available) : f_(f), available_(available) {}

  bool bytes(void* dst, size_t n) {
    if (n > available_) return false;
    auto* out = static_cast<unsigned char*>(dst);
    while (n > 0) {
      if (pos_ == end_ && !refill()) return false;
      size_t take = std::min(n, end_ - pos_);
      std::memcpy(out, buf_ + pos_, take);
      pos_ += take;
      out += take;
      n -= take;
      available_ -= take;
    }
    return true;
  }
  bool u32(uint32_t& v) {
    unsigned char b[4];
    if (!bytes(b, 4)) return false;
    v = le32(b);
    return true;
  }
  bool u8(uint8_t& v) { return bytes(&v, 1); }
  uint64_t available() const { return available_; }

 private:
  bool refill() {
    size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof buf_, available_));
    end_ = std::fread(buf_, 1, want, f_);
    pos_ = 0;
    return end_ > 0;
  }

  FILE* f_;
  uint64_t available_;
  unsigned char buf_[1 << 16];
  size_t pos_ = 0, end_ = 0;
};

std::unique_ptr<char[]> allocate(uint64_t n) {
  if (n > SIZE_MAX) return nullptr;
  return std::unique_ptr<char[]>(new (std::nothrow) char[static_cast<size_t>(n)]);
}

}  // namespace

Resfile::Resfile() = default;

Resfile::~Resfile() { forget(); }

Resfile& Resfile::instance() {
  static Resfile shared;
  return shared;
}

void Resfile::forget() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  path_.clear();
  length_ = 0;
  version_ = 0;
  entries_.clear();
  names_.clear();
  index_.clear();
}

bool Resfile::open(const std::string& archivePath) {
  if (archivePath == path_) return true;
  // Whatever happens below, the archive that was current is gone: no later
  // load may find its table and read through a closed stream.
  forget();

  FILE* f = std::fopen(archivePath.c_str(), "rb");
  if (!f) return false;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return false;
  }
  file_ = f;
  path_ = archivePath;

  auto closeFile = [this] {
    std::fclose(file_);
    file_ = nullptr;
  };
  // Offsets in the table are 32-bit; a larger file cannot be addressed.
  if (uint64_t(st.st_size) >= UINT32_MAX) {
    Log::fail("Resfile.open: Archiwum jest zbyt duze");
    closeFile();
    return false;
  }
  length_ = static_cast<uint32_t>(st.st_size);
  if (length_ <= 4) {
    Log::fail("Resfile.open: Brak naglowka");
    closeFile();
    return false;
  }

  unsigned char head[kHeaderSize] = {};
  const size_t got = std::fread(head, 1, kHeaderSize, file_);
  if (got < 5 || std::memcmp(head, "CRES", 4) != 0 || head[4] != 2) {
    Log::fail("Resfile.open: Nieobslugiwana wersja resfile");
    closeFile();
    return false;
  }
  version_ = head[4];
  if (got < kHeaderSize) {
    Log::fail("Resfile.open: Uciety naglowek");
    closeFile();
    return false;
  }
  const uint32_t dataBase = le32(head + 5);
  const uint32_t entryCount = le32(head + 9);
  if (entryCount == 0) return true;

  // Every record takes at least 13 bytes, which bounds how many can exist.
  const uint64_t tableBytes = length_ - kHeaderSize;
  entries_.reserve(static_cast<size_t>(std::min<uint64_t>(entryCount, tableBytes / kMinRecordSize)));
  names_.reserve(entries_.capacity());

  TableReader in(file_, tableBytes);
  std::string name;
  for (uint32_t i = 0; i < entryCount; ++i) {
    uint32_t relOffset, storedSize, unpackedSize = 0, nameLength;
    uint8_t flags;
    if (!in.u32(relOffset) || !in.u32(storedSize) || !in.u8(flags) ||
        ((flags & 1) && !in.u32(unpackedSize)) || !in.u32(nameLength)) {
      Log::fail("Resfile.open: Uszkodzona tablica plikow");
      break;
    }
    Entry e;
    // An offset beyond 32 bits lies past any archive we accept; clamping
    // keeps it there instead of wrapping back into the file.
    e.offset = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(dataBase) + relOffset, UINT32_MAX));
    e.size = storedSize;
    e.unpackedSize = unpackedSize;
    e.flags = flags;
    if (nameLength > in.available()) {
      Log::fail("Resfile.open: Uszkodzona tablica plikow");
      break;
    }
    try {
      name.resize(nameLength);
    } catch (const std::bad_alloc&) {
      Log::fail("Resfile.open: Nie udalo sie zajac miejsca na nazwe pliku (%u)\n", nameLength);
      break;  // the stream no longer stands at a record boundary
    }
    if (!in.bytes(&name[0], nameLength)) {
      Log::fail("Resfile.open: Uszkodzona tablica plikow");
      break;
    }
    // Names are C strings in the engine: a zero byte ends them.
    name.resize(strnlen(name.data(), nameLength));
    const auto idx = static_cast<uint32_t>(entries_.size());
    try {
      entries_.push_back(e);
      names_.push_back(name);
      // Archives written by our tool are sorted, so the hint makes each
      // insertion constant time; the later of two equal names wins.
      index_.insert_or_assign(index_.end(), name, idx);
    } catch (const std::bad_alloc&) {
      Log::fail("Resfile.open: Nie udalo sie dodac info o pliku do tablicy");
      if (entries_.size() > names_.size()) entries_.pop_back();
    }
  }
  return true;
}

bool Resfile::exists(const std::string& entryName) const { return index_.count(entryName) != 0; }

ResBuffer Resfile::load(const char* resourceName) {
  if (!resourceName) {
    Log::fail("Resfile.load: Zla nazwa pliku (\"%s\")\n", "(null)");
    return ResBuffer();
  }
  Parser parts(resourceName, ":");
  if (parts.count() < 2) {
    Log::fail("Resfile.load: Zla nazwa pliku (\"%s\")\n", resourceName);
    return ResBuffer();
  }
  return load(parts.show(0), parts.show(1));
}

ResBuffer Resfile::load(const std::string& archivePath, const std::string& entryName) {
  if (!open(archivePath)) {
    Log::fail("Resfile.load: Nie udalo sie otworzyc pliku \"%s\"\n", archivePath.c_str());
    return ResBuffer();
  }
  auto it = index_.find(entryName);
  if (it == index_.end()) {
    Log::fail("Resfile.load: Nie znaleziono pliku \"%s\"\n", entryName.c_str());
    return ResBuffer();
  }
  return loadEntry(it->second);
}

ResBuffer Resfile::load(const std::string& archivePath, uint32_t index) {
  if (!open(archivePath)) {
    Log::fail("Resfile.load: Nie udalo sie otworzyc pliku \"%s\"\n", archivePath.c_str());
    return ResBuffer();
  }
  if (index >= entries_.size()) {
    Log::fail("Resfile.load: Nie znaleziono pliku %u\n", index);
    return ResBuffer();
  }
  return loadEntry(index);
}

ResBuffer Resfile::loadEntry(uint32_t index) {
  Entry& e = entries_[index];
  if (!file_ || uint64_t(e.offset) + e.size > length_) {
    Log::fail("Resfile.load: Plik \"%s\" siega poza koniec archiwum\n", names_[index].c_str());
    return ResBuffer();
  }
  std::unique_ptr<char[]> stored = allocate(uint64_t(e.size) + 1);
  if (!stored) {
    Log::fail("Resfile.load: Nie udalo sie zajac pamieci na plik");
    return ResBuffer();
  }
  // One read straight into the buffer that is handed out (for stored
  // entries) or inflated from.
  if (fseeko(file_, static_cast<off_t>(e.offset), SEEK_SET) != 0 ||
      std::fread(stored.get(), 1, e.size, file_) != e.size) {
    Log::fail("Resfile.load: Nie udalo sie odczytac pliku \"%s\"\n", names_[index].c_str());
    return ResBuffer();
  }
  stored[e.size] = 0;
  lastSize = e.size;
  if (!(e.flags & 1)) return ResBuffer(std::move(stored), e.size);

  const uint64_t capacity = std::min<uint64_t>(e.unpackedSize, inflateBound(e.size));
  std::unique_ptr<char[]> out = allocate(capacity + 1);
  if (!out) {
    Log::fail("Resfile.load: Nie udalo sie zajac pamieci na bufor");
    return ResBuffer();
  }
  uLongf outLen = static_cast<uLongf>(capacity);
  const int rc = uncompress(reinterpret_cast<Bytef*>(out.get()), &outLen,
                            reinterpret_cast<const Bytef*>(stored.get()), e.size);
  stored.reset();
  if (rc != Z_OK) {
    Log::fail("Resfile.load: Nie udalo sie rozpakowac pliku (%d)\n", rc);
    return ResBuffer();
  }
  e.unpackedSize = static_cast<uint32_t>(outLen);
  out[outLen] = 0;
  lastSize = static_cast<uint32_t>(outLen);
  return ResBuffer(std::move(out), lastSize);
}
