#include "platform/global_memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Every block starts with a header that remembers the mapping's length.
constexpr size_t kHeader = 16;

}  // namespace

void* GlobalAllocZero(size_t size) {
    if (size > SIZE_MAX - kHeader) return nullptr;
    size_t length = size + kHeader;
    // The pages are populated in one call: a block is taken to be written,
    // and one population costs far less than a fault per page.
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    *static_cast<size_t*>(base) = length;
    return static_cast<uint8_t*>(base) + kHeader;
}

void GlobalFreeBlock(void* block) {
    if (!block) return;
    uint8_t* base = static_cast<uint8_t*>(block) - kHeader;
    munmap(base, *reinterpret_cast<size_t*>(base));
}

int64_t TotalPhysicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return int64_t{pages} * pageSize;
}
