#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <optional>

namespace Ondo {

// N values of T in order (x, y, z, w).
template <typename T, std::size_t N>
class VectorT {
public:
    using value_type = T;
    static constexpr std::size_t Size = N;

    constexpr VectorT() : m_Values{} {}
    template <typename... Args, typename = std::enable_if_t<sizeof...(Args) == N && (N > 1)>>
    constexpr VectorT(Args... args) : m_Values{static_cast<T>(args)...} {}
    explicit constexpr VectorT(const std::array<T, N>& values) : m_Values(values) {}

    constexpr T& operator[](std::size_t i) { return m_Values[i]; }
    constexpr const T& operator[](std::size_t i) const { return m_Values[i]; }
    T* data() { return m_Values.data(); }
    const T* data() const { return m_Values.data(); }

    constexpr T& x() { return m_Values[0]; }
    constexpr const T& x() const { return m_Values[0]; }
    constexpr T& y() { static_assert(N > 1); return m_Values[1]; }
    constexpr const T& y() const { static_assert(N > 1); return m_Values[1]; }
    constexpr T& z() { static_assert(N > 2); return m_Values[2]; }
    constexpr const T& z() const { static_assert(N > 2); return m_Values[2]; }
    constexpr T& w() { static_assert(N > 3); return m_Values[3]; }
    constexpr const T& w() const { static_assert(N > 3); return m_Values[3]; }

    friend bool operator==(const VectorT& a, const VectorT& b) { return a.m_Values == b.m_Values; }
    friend bool operator!=(const VectorT& a, const VectorT& b) { return a.m_Values != b.m_Values; }

    friend VectorT operator+(VectorT a, const VectorT& b)
    {
        for (std::size_t i = 0; i < N; ++i) a[i] += b[i];
        return a;
    }
    friend VectorT operator-(VectorT a, const VectorT& b)
    {
        for (std::size_t i = 0; i < N; ++i) a[i] -= b[i];
        return a;
    }
    friend VectorT operator*(VectorT a, T s)
    {
        for (std::size_t i = 0; i < N; ++i) a[i] *= s;
        return a;
    }

    T Dot(const VectorT& b) const
    {
        T sum{};
        for (std::size_t i = 0; i < N; ++i) sum += m_Values[i] * b[i];
        return sum;
    }
    T Length() const { return static_cast<T>(std::sqrt(Dot(*this))); }
    VectorT Normalized() const
    {
        const T len = Length();
        return len == T{} ? *this : *this * (T{1} / len);
    }

private:
    std::array<T, N> m_Values;
};

template <typename T>
VectorT<T, 3> Cross(const VectorT<T, 3>& a, const VectorT<T, 3>& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

using Vector2f = VectorT<float, 2>;
using Vector3f = VectorT<float, 3>;
using Vector4f = VectorT<float, 4>;
using Vector2i = VectorT<int, 2>;
using Vector3i = VectorT<int, 3>;

// R x C matrix of T stored in column-major order, so that data() can be handed
// to OpenGL without transposition: element (row r, column c) is data()[c * R + r].
template <typename T, std::size_t R, std::size_t C>
class MatrixT {
public:
    static constexpr std::size_t Rows = R;
    static constexpr std::size_t Columns = C;

    constexpr MatrixT() : m_Values{} {}

    static MatrixT Identity()
    {
        static_assert(R == C, "only square matrices have an identity");
        MatrixT m;
        for (std::size_t i = 0; i < R; ++i) m(i, i) = T{1};
        return m;
    }
    // Builds a matrix from values given row by row, as a matrix is written on paper.
    static MatrixT FromRows(std::initializer_list<T> values)
    {
        MatrixT m;
        std::size_t i = 0;
        for (T v : values) {
            if (i >= R * C) break;
            m(i / C, i % C) = v;
            ++i;
        }
        return m;
    }

    T& operator()(std::size_t r, std::size_t c) { return m_Values[c * R + r]; }
    const T& operator()(std::size_t r, std::size_t c) const { return m_Values[c * R + r]; }
    T* data() { return m_Values.data(); }
    const T* data() const { return m_Values.data(); }

    friend bool operator==(const MatrixT& a, const MatrixT& b) { return a.m_Values == b.m_Values; }
    friend bool operator!=(const MatrixT& a, const MatrixT& b) { return a.m_Values != b.m_Values; }

    template <std::size_t K>
    friend MatrixT<T, R, K> operator*(const MatrixT& a, const MatrixT<T, C, K>& b)
    {
        MatrixT<T, R, K> m;
        for (std::size_t r = 0; r < R; ++r)
            for (std::size_t k = 0; k < K; ++k) {
                T sum{};
                for (std::size_t c = 0; c < C; ++c) sum += a(r, c) * b(c, k);
                m(r, k) = sum;
            }
        return m;
    }
    friend VectorT<T, R> operator*(const MatrixT& a, const VectorT<T, C>& v)
    {
        VectorT<T, R> out;
        for (std::size_t r = 0; r < R; ++r) {
            T sum{};
            for (std::size_t c = 0; c < C; ++c) sum += a(r, c) * v[c];
            out[r] = sum;
        }
        return out;
    }

    MatrixT<T, C, R> Transposed() const
    {
        MatrixT<T, C, R> m;
        for (std::size_t r = 0; r < R; ++r)
            for (std::size_t c = 0; c < C; ++c) m(c, r) = (*this)(r, c);
        return m;
    }

    // The upper-left N x M block.
    template <std::size_t N, std::size_t M>
    MatrixT<T, N, M> Block() const
    {
        static_assert(N <= R && M <= C);
        MatrixT<T, N, M> m;
        for (std::size_t r = 0; r < N; ++r)
            for (std::size_t c = 0; c < M; ++c) m(r, c) = (*this)(r, c);
        return m;
    }

private:
    std::array<T, R * C> m_Values;
};

using Matrix33f = MatrixT<float, 3, 3>;
using Matrix44f = MatrixT<float, 4, 4>;

// The inverse of a 4 x 4 matrix by cofactor expansion, or nothing when the
// matrix is singular (its determinant is zero or not finite).
std::optional<Matrix44f> Inverse(const Matrix44f& m);

// The matrix that carries normals along with a model-view matrix: the upper
// 3 x 3 block of its transposed inverse. A singular matrix yields the upper
// 3 x 3 block of the identity, so a degenerate transform never poisons shading
// with infinities.
Matrix33f NormalMatrix(const Matrix44f& m);

} // namespace Ondo
