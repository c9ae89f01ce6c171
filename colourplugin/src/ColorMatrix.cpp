// The colour matrix arithmetic and the hue/saturation construction.
#include "ColorMatrix.h"

#include <algorithm>
#include <cmath>

namespace Huvane {

namespace {
template <class T>
T clampCut(double value, double largest)
{
    // !(value > 0) also catches NaN, which must never reach the integer conversion.
    if (!(value > 0.0))
        return 0;
    if (value >= largest)
        return static_cast<T>(largest);
    return static_cast<T>(value);
}

template <class T>
void applyTo(const ColorMatrix& m, T* pixels, size_t pixelCount, size_t stride, double largest)
{
    for (size_t n = 0; n < pixelCount; ++n) {
        T* p = pixels + n * stride;
        const double in[3] = {double(p[0]), double(p[1]), double(p[2])};
        for (int i = 0; i < 3; ++i) {
            const double out = m.at(i, 0) * in[0] + m.at(i, 1) * in[1] + m.at(i, 2) * in[2];
            p[i] = clampCut<T>(out, largest);
        }
    }
}

// Orthonormal basis whose first row is the grey axis; its transpose is its inverse.
ColorMatrix greyBasis()
{
    const double r3 = 1.0 / std::sqrt(3.0);
    const double r6 = 1.0 / std::sqrt(6.0);
    const double r2 = 1.0 / std::sqrt(2.0);
    ColorMatrix b;
    const double rows[3][3] = {{r3, r3, r3}, {2.0 * r6, -r6, -r6}, {0.0, -r2, r2}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            b.set(i, j, rows[i][j]);
    return b;
}
} // namespace

ColorMatrix::ColorMatrix()
{
    setIdentity();
}

void ColorMatrix::setIdentity()
{
    for (int i = 0; i < Rows; ++i)
        for (int j = 0; j < Columns; ++j)
            m_elements[i][j] = i == j ? 1.0 : 0.0;
}

double ColorMatrix::trace() const
{
    return m_elements[0][0] + m_elements[1][1] + m_elements[2][2];
}

ColorMatrix ColorMatrix::transposed() const
{
    ColorMatrix t;
    for (int i = 0; i < Rows; ++i)
        for (int j = 0; j < Columns; ++j)
            t.m_elements[i][j] = m_elements[j][i];
    return t;
}

void ColorMatrix::assignElements(const ColorMatrix& other)
{
    std::copy(&other.m_elements[0][0], &other.m_elements[0][0] + Rows * Columns, &m_elements[0][0]);
}

ColorMatrix ColorMatrix::operator*(const ColorMatrix& right) const
{
    ColorMatrix result;
    for (int i = 0; i < Rows; ++i)
        for (int j = 0; j < Columns; ++j) {
            double sum = 0.0;
            for (int k = 0; k < Columns; ++k)
                sum += m_elements[i][k] * right.m_elements[k][j];
            result.m_elements[i][j] = sum;
        }
    return result;
}

void ColorMatrix::apply(uint16_t* pixels, size_t pixelCount) const
{
    applyTo(*this, pixels, pixelCount, 3, 65535.0);
}

void ColorMatrix::apply3(uint8_t* pixels, size_t pixelCount) const
{
    applyTo(*this, pixels, pixelCount, 3, 255.0);
}

void ColorMatrix::apply4(uint8_t* pixels, size_t pixelCount) const
{
    applyTo(*this, pixels, pixelCount, 4, 255.0);
}

ColorMatrix ColorMatrix::hueSaturation(double hueDegrees, double saturation)
{
    const double theta = hueDegrees * 0.017453292519943295;
    ColorMatrix r;
    r.set(1, 1, std::cos(theta));
    r.set(2, 2, std::cos(theta));
    r.set(1, 2, std::sin(theta));
    r.set(2, 1, -std::sin(theta));
    ColorMatrix s;
    s.set(1, 1, saturation);
    s.set(2, 2, saturation);
    const ColorMatrix b = greyBasis();
    return b.transposed() * s * r * b;
}

} // namespace Huvane
