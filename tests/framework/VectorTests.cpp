#include "Ondo/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

using namespace Ondo;

// Scales by (x, y, z), then moves by (dx, dy, dz).
Matrix44f Scale(float x, float y, float z, float dx = 0, float dy = 0, float dz = 0)
{
    return Matrix44f::FromRows({x, 0, 0, dx, 0, y, 0, dy, 0, 0, z, dz, 0, 0, 0, 1});
}
Matrix44f Move(float dx, float dy, float dz) { return Scale(1, 1, 1, dx, dy, dz); }

template <std::size_t N>
void ExpectNear(const MatrixT<float, N, N>& actual, const MatrixT<float, N, N>& expected, float fTolerance)
{
    for (std::size_t i = 0; i < N * N; ++i)
        EXPECT_NEAR(actual(i / N, i % N), expected(i / N, i % N), fTolerance) << "row " << i / N << ", col " << i % N;
}

TEST(MatrixTest, StorageIsColumnMajorAndProductsApplyTheRightFactorFirst)
{
    const Matrix44f m = Matrix44f::FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    for (std::size_t i = 0; i < 16; ++i) {
        const std::size_t r = i / 4, c = i % 4;
        EXPECT_EQ(std::make_tuple(m(r, c), m.data()[c * 4 + r], m.Transposed()(r, c)),
                  std::make_tuple(float(i + 1), float(i + 1), m(c, r))) << "row " << r << ", column " << c;
    }
    const Matrix44f t = Move(7, 8, 9); // the translation sits in the last four floats, as OpenGL expects
    EXPECT_EQ((Vector3f{t.data()[12], t.data()[13], t.data()[14]}), (Vector3f{7, 8, 9}));
    EXPECT_EQ(std::make_tuple(Matrix44f::Identity() * m, m * Matrix44f::Identity()), std::make_tuple(m, m));

    const Vector4f point{1, 2, 3, 1};
    EXPECT_EQ(Move(10, 20, 30) * point, (Vector4f{11, 22, 33, 1}));
    EXPECT_EQ(Move(10, 20, 30) * Vector4f(1, 2, 3, 0), (Vector4f{1, 2, 3, 0})) << "directions do not move";
    EXPECT_EQ(Move(1, 0, 0) * Scale(2, 2, 2) * point, (Vector4f{3, 4, 6, 1})) << "scaled, then moved";
    EXPECT_EQ(Scale(2, 2, 2) * Move(1, 0, 0) * point, (Vector4f{4, 4, 6, 1})) << "moved, then scaled";
    const Matrix44f a = Matrix44f::FromRows({1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const Matrix44f b = Matrix44f::FromRows({1, 0, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const Matrix44f ab = a * b, ba = b * a;
    EXPECT_EQ((Vector4f{ab(0, 0), ab(0, 1), ab(1, 0), ab(1, 1)}), (Vector4f{7, 2, 3, 1}));
    EXPECT_EQ((Vector4f{ba(0, 0), ba(0, 1), ba(1, 0), ba(1, 1)}), (Vector4f{1, 2, 3, 7}));
}

TEST(MatrixTest, InverseUndoesTheMatrixAndTheNormalMatrixIsItsTransposedUpperBlock)
{
    // An affine transform whose last row is not (0, 0, 0, 1).
    const Matrix44f m = Matrix44f::FromRows({2, 0.5f, 0, 3, 0.25f, 1.5f, -1, -2, 0, 1, 3, 4, 0, 0, -1, 0.5f});
    ASSERT_TRUE(Inverse(m).has_value());
    ExpectNear(m * *Inverse(m), Matrix44f::Identity(), 1e-5f);
    ExpectNear(*Inverse(m) * m, Matrix44f::Identity(), 1e-5f);
    ExpectNear(*Inverse(Move(1, 2, 3)), Move(-1, -2, -3), 0.0f);
    ExpectNear(*Inverse(Scale(2, 4, 8)), Scale(0.5f, 0.25f, 0.125f), 0.0f);
    Matrix44f withNan = Matrix44f::Identity();
    withNan(0, 0) = std::nanf("");
    const Matrix44f dependentRows = Matrix44f::FromRows({1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 0});
    for (const Matrix44f& singular : {dependentRows, Matrix44f(), Scale(1, 0, 1), withNan})
        EXPECT_FALSE(Inverse(singular).has_value()) << testing::PrintToString(singular);
    // The normal matrix is the upper block of the transposed inverse: under scaling, normals scale by the reciprocal.
    const Matrix33f reciprocal = Matrix33f::FromRows({0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 2});
    ExpectNear(NormalMatrix(Move(5, 6, 7) * Scale(2, 4, 0.5f)), reciprocal, 1e-6f);
    // Rotated and scaled non-uniformly, a surface normal stays perpendicular to the moved surface.
    const float c = std::cos(0.6f), s = std::sin(0.6f);
    const Matrix44f model = Matrix44f::FromRows({c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}) * Scale(3, 1, 1);
    const Vector3f tangent{1, 1, 0}, surfaceNormal{1, -1, 0}, movedTangent = model.Block<3, 3>() * tangent;
    EXPECT_NEAR(movedTangent.Dot(NormalMatrix(model) * surfaceNormal), 0.0f, 1e-5f);
    EXPECT_GT(std::fabs((model.Block<3, 3>() * surfaceNormal).Dot(movedTangent)), 0.1f)
        << "the model matrix itself would not keep the normal perpendicular";
    EXPECT_EQ(NormalMatrix(Scale(1, 0, 1)), Matrix33f::Identity());
    ExpectNear(NormalMatrix(Move(1, 2, 3)), Matrix33f::Identity(), 0.0f);
}

TEST(VectorTest, CrossDotAndNormalized)
{
    const Vector3f x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1}, a{1, 2, 3}, b{-4, 5, 0.5f};
    EXPECT_EQ(std::make_tuple(Cross(x, y), Cross(y, z), Cross(y, x)), std::make_tuple(z, x, z * -1.0f));
    EXPECT_EQ(Cross(a, b), (Vector3f{2 * 0.5f - 3 * 5, 3 * -4 - 1 * 0.5f, 1 * 5 - 2 * -4}));
    EXPECT_EQ(std::make_tuple(a.Dot(b), Vector4f{1, 2, 3, 4}.Dot(Vector4f{1, 1, 1, 1})), std::make_tuple(7.5f, 10.0f));
    const Vector3f n = Vector3f{3, 0, 4}.Normalized();
    EXPECT_NEAR((n - Vector3f{0.6f, 0, 0.8f}).Length(), 0.0f, 1e-6f) << testing::PrintToString(n);
    EXPECT_FLOAT_EQ(n.Length(), 1.0f);
    EXPECT_EQ(Vector3f().Normalized(), Vector3f()) << "a zero vector has no direction to keep";
}

} // namespace
