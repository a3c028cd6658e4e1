#include "project/TypeDefinition.h"

#include <cstdlib>
#include <limits>
#include <new>
#include <sys/mman.h>

static_assert(std::is_trivially_destructible_v<TGridCell>, "cells are released without destruction");
static_assert(std::is_trivially_copyable_v<TGridCell>, "cells are copied as values");

namespace {
constexpr size_t HugePage = size_t(2) << 20;
} // namespace

void TCellArray::Allocate(int columns, int rows)
{
    if (columns < 0 || rows < 0)
        throw std::length_error("negative grid size");
    const size_t count = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    if (count > std::numeric_limits<size_t>::max() / sizeof(TGridCell) - HugePage)
        throw std::length_error("grid too large");
    Release();
    if (count == 0) {
        columns_ = columns;
        rows_ = rows;
        return;
    }
    size_t bytes = count * sizeof(TGridCell);
    void* memory = nullptr;
    if (bytes >= HugePage) {
        bytes = (bytes + HugePage - 1) / HugePage * HugePage;
        memory = std::aligned_alloc(HugePage, bytes);
        if (memory)
            ::madvise(memory, bytes, MADV_HUGEPAGE); // a hint: failure only costs speed
    } else {
        memory = std::malloc(bytes);
    }
    if (!memory)
        throw std::bad_alloc();
    cells_ = static_cast<TGridCell*>(memory);
    columns_ = columns;
    rows_ = rows;
}

void TCellArray::Release() noexcept
{
    std::free(cells_);
    cells_ = nullptr;
    columns_ = rows_ = 0;
}
