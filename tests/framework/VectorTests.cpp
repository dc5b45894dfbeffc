#include "Ondo/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

using Ondo::Matrix33f;
using Ondo::Matrix44f;
using Ondo::Vector3f;
using Ondo::Vector4f;

Matrix44f Translation(float x, float y, float z)
{
    return Matrix44f::FromRows({1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z, 0, 0, 0, 1});
}

Matrix44f Scaling(float x, float y, float z)
{
    return Matrix44f::FromRows({x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1});
}

template <std::size_t N>
void ExpectNear(const Ondo::MatrixT<float, N, N>& actual, const Ondo::MatrixT<float, N, N>& expected, float fTolerance)
{
    for (std::size_t r = 0; r < N; ++r)
        for (std::size_t c = 0; c < N; ++c)
            EXPECT_NEAR(actual(r, c), expected(r, c), fTolerance) << "at row " << r << ", column " << c;
}

TEST(MatrixTest, StorageIsColumnMajor)
{
    const Matrix44f m = Matrix44f::FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    EXPECT_EQ(m(0, 1), 2.0f);
    EXPECT_EQ(m(1, 0), 5.0f);
    EXPECT_EQ(m(3, 2), 15.0f);
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(m.data()[c * 4 + r], m(r, c)) << r << ", " << c;
    // The translation of an affine matrix sits in the last four floats, as OpenGL expects.
    const Matrix44f t = Translation(7, 8, 9);
    EXPECT_EQ(t.data()[12], 7.0f);
    EXPECT_EQ(t.data()[13], 8.0f);
    EXPECT_EQ(t.data()[14], 9.0f);

    const Matrix44f transposed = m.Transposed();
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(transposed(r, c), m(c, r));
    EXPECT_EQ(Matrix44f::Identity() * m, m);
    EXPECT_EQ(m * Matrix44f::Identity(), m);
}

TEST(MatrixTest, ProductsApplyTheRightFactorFirst)
{
    const Vector4f point{1, 2, 3, 1};
    EXPECT_EQ(Translation(10, 20, 30) * point, (Vector4f{11, 22, 33, 1}));
    EXPECT_EQ(Translation(10, 20, 30) * Vector4f(1, 2, 3, 0), (Vector4f{1, 2, 3, 0})) << "directions do not move";

    // Scale then translate versus translate then scale.
    const Matrix44f translateAfterScale = Translation(1, 0, 0) * Scaling(2, 2, 2);
    const Matrix44f scaleAfterTranslate = Scaling(2, 2, 2) * Translation(1, 0, 0);
    EXPECT_EQ(translateAfterScale * point, (Vector4f{3, 4, 6, 1}));
    EXPECT_EQ(scaleAfterTranslate * point, (Vector4f{4, 4, 6, 1}));

    const Matrix44f a = Matrix44f::FromRows({1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const Matrix44f b = Matrix44f::FromRows({1, 0, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const Matrix44f ab = a * b;
    EXPECT_EQ(ab(0, 0), 7.0f);
    EXPECT_EQ(ab(0, 1), 2.0f);
    EXPECT_EQ(ab(1, 0), 3.0f);
    EXPECT_EQ((b * a)(0, 0), 1.0f);
    EXPECT_EQ((b * a)(1, 1), 7.0f);
    EXPECT_EQ(ab * point, a * (b * point));
}

TEST(MatrixTest, InverseUndoesTheMatrixAndSingularMatricesHaveNone)
{
    // An affine transform followed by a perspective-like row.
    const Matrix44f m = Matrix44f::FromRows({2, 0.5f, 0, 3, 0.25f, 1.5f, -1, -2, 0, 1, 3, 4, 0, 0, -1, 0.5f});
    const std::optional<Matrix44f> inverse = Ondo::Inverse(m);
    ASSERT_TRUE(inverse.has_value());
    ExpectNear(m * *inverse, Matrix44f::Identity(), 1e-5f);
    ExpectNear(*inverse * m, Matrix44f::Identity(), 1e-5f);
    ExpectNear(*Ondo::Inverse(Translation(1, 2, 3)), Translation(-1, -2, -3), 0.0f);
    ExpectNear(*Ondo::Inverse(Scaling(2, 4, 8)), Scaling(0.5f, 0.25f, 0.125f), 0.0f);

    const Matrix44f dependentRows = Matrix44f::FromRows({1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 0});
    EXPECT_FALSE(Ondo::Inverse(dependentRows).has_value());
    EXPECT_FALSE(Ondo::Inverse(Matrix44f()).has_value());
    EXPECT_FALSE(Ondo::Inverse(Scaling(1, 0, 1)).has_value());
    Matrix44f withNan = Matrix44f::Identity();
    withNan(0, 0) = std::nanf("");
    EXPECT_FALSE(Ondo::Inverse(withNan).has_value());
}

TEST(MatrixTest, NormalMatrixIsTheUpperBlockOfTheTransposedInverse)
{
    // Under non-uniform scaling, normals scale by the reciprocal.
    const Matrix44f world = Translation(5, 6, 7) * Scaling(2, 4, 0.5f);
    const Matrix33f normal = Ondo::NormalMatrix(world);
    ExpectNear(normal, Matrix33f::FromRows({0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 2}), 1e-6f);
    EXPECT_NE(normal, (world.Block<3, 3>()));

    // A rotation about z with non-uniform scale: the normal of a surface stays
    // perpendicular to the transformed surface.
    const float c = std::cos(0.6f), s = std::sin(0.6f);
    const Matrix44f rotation = Matrix44f::FromRows({c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const Matrix44f model = rotation * Scaling(3, 1, 1);
    const Vector3f tangent{1, 1, 0}, surfaceNormal{1, -1, 0};
    const Matrix33f modelBlock = model.Block<3, 3>();
    const Vector3f movedTangent = modelBlock * tangent;
    const Vector3f movedNormal = Ondo::NormalMatrix(model) * surfaceNormal;
    EXPECT_NEAR(movedTangent.Dot(movedNormal), 0.0f, 1e-5f);
    EXPECT_GT(std::fabs((modelBlock * surfaceNormal).Dot(movedTangent)), 0.1f)
        << "the model matrix itself would not keep the normal perpendicular";

    EXPECT_EQ(Ondo::NormalMatrix(Scaling(1, 0, 1)), Matrix33f::Identity());
    ExpectNear(Ondo::NormalMatrix(Translation(1, 2, 3)), Matrix33f::Identity(), 0.0f);
}

TEST(VectorTest, CrossDotAndNormalized)
{
    const Vector3f x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    EXPECT_EQ(Ondo::Cross(x, y), z);
    EXPECT_EQ(Ondo::Cross(y, z), x);
    EXPECT_EQ(Ondo::Cross(y, x), z * -1.0f);
    const Vector3f a{1, 2, 3}, b{-4, 5, 0.5f};
    const Vector3f axb = Ondo::Cross(a, b);
    EXPECT_EQ(axb, (Vector3f{2 * 0.5f - 3 * 5, 3 * -4 - 1 * 0.5f, 1 * 5 - 2 * -4}));
    EXPECT_FLOAT_EQ(axb.Dot(a), 0.0f);
    EXPECT_FLOAT_EQ(axb.Dot(b), 0.0f);

    EXPECT_EQ(a.Dot(b), -4.0f + 10.0f + 1.5f);
    EXPECT_EQ((Vector4f{1, 2, 3, 4}).Dot(Vector4f{1, 1, 1, 1}), 10.0f);

    const Vector3f n = Vector3f{3, 0, 4}.Normalized();
    EXPECT_FLOAT_EQ(n.x(), 0.6f);
    EXPECT_FLOAT_EQ(n.z(), 0.8f);
    EXPECT_FLOAT_EQ(n.Length(), 1.0f);
    EXPECT_EQ(Vector3f().Normalized(), Vector3f()) << "a zero vector has no direction to keep";
    EXPECT_EQ(a + b - b, a);
}

} // namespace
