#include "flash.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "image/image_format.h"

namespace {

constexpr size_t kFlashBytes = 2 * static_cast<size_t>(kBankBytes);

}  // namespace

uint32_t SectorOffset(int sector) {
  return sector < 8 ? static_cast<uint32_t>(sector) * 0x2000u
                    : 0x10000u + static_cast<uint32_t>(sector - 8) * 0x10000u;
}

uint32_t SectorBytes(int sector) { return sector < 8 ? 0x2000u : 0x10000u; }

int SectorAt(uint32_t offsetInBank) {
  return offsetInBank < 0x10000u ? static_cast<int>(offsetInBank >> 13)
                                 : 7 + static_cast<int>(offsetInBank >> 16);
}

Flash::~Flash() { Close(); }

bool Flash::Open(const std::string& path, std::string* error) {
  Close();
  if (path.empty()) {
    void* p =
        mmap(nullptr, kFlashBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
      *error = std::string("cannot allocate flash: ") + strerror(errno);
      return false;
    }
    bytes_ = static_cast<uint8_t*>(p);
    memset(bytes_, 0xFF, kFlashBytes);
    fileBacked_ = false;
    return true;
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    *error = "cannot open flash file " + path + ": " + strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  auto size = static_cast<size_t>(info.st_size);
  if (size > kFlashBytes) {
    *error = "flash file " + path + " is larger than the two banks (1 MB)";
    close(fd);
    return false;
  }
  if (size < kFlashBytes) {
    // A new or short file: the rest is erased flash.
    std::vector<uint8_t> erased(kFlashBytes - size, 0xFF);
    if (pwrite(fd, erased.data(), erased.size(), static_cast<off_t>(size)) !=
        static_cast<ssize_t>(erased.size())) {
      *error = "cannot extend flash file " + path + ": " + strerror(errno);
      close(fd);
      return false;
    }
  }
  void* p = mmap(nullptr, kFlashBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (p == MAP_FAILED) {
    *error = "cannot map flash file " + path + ": " + strerror(errno);
    return false;
  }
  bytes_ = static_cast<uint8_t*>(p);
  fileBacked_ = true;
  return true;
}

void Flash::Sync() {
  if (bytes_ && fileBacked_) msync(bytes_, kFlashBytes, MS_SYNC);
}

void Flash::Close() {
  if (!bytes_) return;
  Sync();
  munmap(bytes_, kFlashBytes);
  bytes_ = nullptr;
}

bool Flash::Locate(uint32_t address, uint32_t count, int* bank, uint32_t* offset) {
  for (int b = 0; b < 2; ++b) {
    if (address >= kBankAddress[b] && address - kBankAddress[b] < kBankBytes &&
        count <= kBankBytes - (address - kBankAddress[b])) {
      *bank = b;
      *offset = address - kBankAddress[b];
      return true;
    }
  }
  return false;
}

void Flash::EraseSectors(int bank, int first, int last) {
  uint32_t start = SectorOffset(first);
  uint32_t end = SectorOffset(last) + SectorBytes(last);
  memset(Bank(bank) + start, 0xFF, end - start);
}

void Flash::EraseAll() { memset(bytes_, 0xFF, kFlashBytes); }

void Flash::Program(int bank, uint32_t offset, const uint8_t* data, size_t n) {
  uint8_t* cells = Bank(bank) + offset;
  for (size_t i = 0; i < n; ++i) cells[i] &= data[i];
}

void Flash::Store(int bank, uint32_t offset, const uint8_t* data, size_t n) {
  memcpy(Bank(bank) + offset, data, n);
}

bool Flash::VectorTableValid(int bank) const {
  uint32_t sum = 0;
  for (size_t i = 0; i < 8; ++i) sum += ReadLe32(Bank(bank) + 4 * i);
  return sum == 0;
}
