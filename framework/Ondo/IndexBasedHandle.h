#pragma once

namespace Ondo {

// A handle made of an index; the index NoneValue (converted to IndexT) means
// that the handle names nothing.
template <typename IndexT, int NoneValue>
class IndexBasedHandleT {
public:
    static constexpr IndexT None = static_cast<IndexT>(NoneValue);

    IndexBasedHandleT() = default;
    explicit IndexBasedHandleT(IndexT index) : m_Index(index) {}
    IndexBasedHandleT(const IndexBasedHandleT&) = default;
    IndexBasedHandleT& operator=(const IndexBasedHandleT&) = default;
    virtual ~IndexBasedHandleT() = default;

    IndexT GetIndex() const { return m_Index; }
    void SetIndex(IndexT index) { m_Index = index; }
    bool HasIndex() const { return m_Index != None; }

protected:
    IndexT m_Index = None;
};

} // namespace Ondo
