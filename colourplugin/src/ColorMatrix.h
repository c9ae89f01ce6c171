// A dense 3 x 3 colour matrix and the hue/saturation matrix that the camera's colour transformation carries out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Huvane {

// Value type; not synchronised. Element (i, j) weighs input channel j into output channel i: a pixel is
// a column vector multiplied from the right (out = M x p), as the camera's colour transformation applies
// its matrix. So A x B applies B first, and hue turns red toward yellow and green for positive angles.
class ColorMatrix {
public:
    static constexpr int Rows = 3;
    static constexpr int Columns = 3;

    ColorMatrix(); // the identity
    ColorMatrix(const ColorMatrix&) = default;
    ColorMatrix& operator=(const ColorMatrix&) = default;

    // Software application, for checks only: the plug-in leaves the work to the camera. Each output
    // channel is clamped to the channel's range and cut toward zero. The four-channel form keeps the
    // fourth byte.
    virtual void apply(uint16_t* pixels, size_t pixelCount) const;
    virtual void apply3(uint8_t* pixels, size_t pixelCount) const;
    virtual void apply4(uint8_t* pixels, size_t pixelCount) const;
    virtual ~ColorMatrix() = default;

    int rowCount() const { return Rows; }
    int columnCount() const { return Columns; }
    double at(int row, int column) const { return m_elements[row][column]; }
    void set(int row, int column, double value) { m_elements[row][column] = value; }
    void setIdentity();
    double trace() const;
    ColorMatrix transposed() const;

    // Copies the elements only, so that an adapter keeps its node binding.
    void assignElements(const ColorMatrix& other);

    ColorMatrix operator*(const ColorMatrix& right) const;

    // Rotation of the two colour components about the grey axis by hueDegrees and their scaling by
    // saturation; the grey component stays. Hue 0 with saturation 1 gives the identity.
    static ColorMatrix hueSaturation(double hueDegrees, double saturation);

private:
    double m_elements[Rows][Columns];
};

} // namespace Huvane
