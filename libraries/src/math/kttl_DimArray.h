// kttl::DimArray: a dense N-dimensional array of cells (dimension 0 varies fastest), the storage
// under the geometry masks.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kttl_Exception.h"

namespace kttl {

template <typename T, size_t N>
class DimArray {
    static_assert(N >= 1, "a DimArray has at least one dimension");

public:
    typedef T value_type;

    DimArray() { m_dims.fill(0); }
    explicit DimArray(const std::array<size_t, N>& dims, const T& init = T()) { allocate(dims, init); }
    // Dimensions from a run-time list, which must name exactly N of them.
    explicit DimArray(const std::vector<size_t>& dims, const T& init = T()) {
        if (dims.size() != N) KT_THROW("kttl::DimArray", "DimArray(...) - dimension mismatch");
        std::array<size_t, N> d;
        std::copy(dims.begin(), dims.end(), d.begin());
        allocate(d, init);
    }
    DimArray(const DimArray& o) : m_dims(o.m_dims), m_count(o.m_count) {
        if (m_count) {
            m_cells.reset(new T[m_count]);
            std::copy(o.m_cells.get(), o.m_cells.get() + m_count, m_cells.get());
        }
    }
    DimArray(DimArray&& o) noexcept : m_dims(o.m_dims), m_count(o.m_count), m_cells(std::move(o.m_cells)) {
        o.m_dims.fill(0);
        o.m_count = 0;
    }
    DimArray& operator=(const DimArray& o) {
        if (this != &o) {
            DimArray tmp(o);
            swap(tmp);
        }
        return *this;
    }
    DimArray& operator=(DimArray&& o) noexcept {
        DimArray tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    void swap(DimArray& o) noexcept {
        std::swap(m_dims, o.m_dims);
        std::swap(m_count, o.m_count);
        m_cells.swap(o.m_cells);
    }

    // Replaces the content by dims with every cell set to init.
    void resize(const std::array<size_t, N>& dims, const T& init = T()) {
        DimArray tmp(dims, init);
        swap(tmp);
    }

    size_t dim(size_t i) const { return i < N ? m_dims[i] : 0; }
    const std::array<size_t, N>& dims() const { return m_dims; }
    // Number of cells: the product of the dimensions.
    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    T* data() { return m_cells.get(); }
    const T* data() const { return m_cells.get(); }
    void fill(const T& v) { std::fill(m_cells.get(), m_cells.get() + m_count, v); }

    // Cell by flat index; the caller keeps i < size().
    T& operator[](size_t i) { return m_cells[i]; }
    const T& operator[](size_t i) const { return m_cells[i]; }

    // Cell by one index per dimension, unchecked: the caller keeps each below its dimension.
    template <typename... I>
    T& operator()(I... idx) {
        static_assert(sizeof...(I) == N, "one index per dimension");
        return m_cells[flat({static_cast<size_t>(idx)...})];
    }
    template <typename... I>
    const T& operator()(I... idx) const {
        static_assert(sizeof...(I) == N, "one index per dimension");
        return m_cells[flat({static_cast<size_t>(idx)...})];
    }

    // Checked access: throws when any index is at or beyond its dimension.
    T& at(const std::array<size_t, N>& idx) { return m_cells[checked(idx)]; }
    const T& at(const std::array<size_t, N>& idx) const { return m_cells[checked(idx)]; }
    bool inside(const std::array<size_t, N>& idx) const {
        for (size_t i = 0; i < N; ++i)
            if (idx[i] >= m_dims[i]) return false;
        return true;
    }

private:
    void allocate(const std::array<size_t, N>& dims, const T& init) {
        size_t count = 1;
        for (size_t d : dims) {
            if (d != 0 && count > SIZE_MAX / sizeof(T) / d)
                KT_THROW("kttl::DimArray", "DimArray(...) - dimensions too large");
            count *= d;
        }
        m_dims = dims;
        m_count = count;
        if (count) {
            m_cells.reset(new T[count]);
            std::fill(m_cells.get(), m_cells.get() + count, init);
        }
    }
    size_t flat(const std::array<size_t, N>& idx) const {
        size_t i = 0;
        for (size_t k = N; k-- > 0;) i = i * m_dims[k] + idx[k];
        return i;
    }
    size_t checked(const std::array<size_t, N>& idx) const {
        if (!inside(idx)) KT_THROW("kttl::DimArray", "at(...) - index out of range");
        return flat(idx);
    }

    std::array<size_t, N> m_dims;
    size_t m_count = 0;
    std::unique_ptr<T[]> m_cells;
};

}  // namespace kttl
