#include "Bitmap.h"

#include <cmath>
#include <random>
#include <vector>

namespace zilba_sim {

namespace {

constexpr int kRowBytes = (kSignatureWidth * 3 + 3) / 4 * 4;

class Canvas {
public:
    Canvas() : pixels_(static_cast<size_t>(kRowBytes) * kSignatureHeight, 0xFF) {}

    // A pen two pixels wide, in dark blue ink.
    void Dot(int x, int y) {
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) Set(x + dx, y + dy);
    }
    void Line(double x0, double y0, double x1, double y1) {
        int steps = static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)))) + 1;
        for (int i = 0; i <= steps; ++i) {
            double t = static_cast<double>(i) / steps;
            Dot(static_cast<int>(std::lround(x0 + (x1 - x0) * t)),
                static_cast<int>(std::lround(y0 + (y1 - y0) * t)));
        }
    }
    const std::vector<uint8_t>& pixels() const { return pixels_; }

private:
    void Set(int x, int y) {
        if (x < 0 || y < 0 || x >= kSignatureWidth || y >= kSignatureHeight) return;
        // Rows are stored bottom-up; y counts from the top.
        size_t at = static_cast<size_t>(kSignatureHeight - 1 - y) * kRowBytes + static_cast<size_t>(x) * 3;
        pixels_[at] = 0x70;      // blue
        pixels_[at + 1] = 0x28;  // green
        pixels_[at + 2] = 0x10;  // red
    }
    std::vector<uint8_t> pixels_;
};

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string SignatureBitmap(uint32_t seed) {
    std::mt19937 random(seed * 2654435761u + 12345u);
    std::uniform_real_distribution<double> unit(0.0, 1.0);

    Canvas canvas;
    // A run of pen loops drifting to the right, rising and falling like handwriting.
    const double loops = 5 + 5 * unit(random);
    const double loopSize = 6 + 8 * unit(random);
    const double wave = 8 + 10 * unit(random);
    const double wavePhase = 6.28 * unit(random);
    const double slant = -0.3 + 0.6 * unit(random);
    const double start = 15 + 20 * unit(random);
    const double length = 150 + 50 * unit(random);
    double px = 0, py = 0;
    const int steps = 1500;
    for (int i = 0; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        double angle = 6.28318 * loops * t;
        double y = 40 + wave * std::sin(3.1 * t * 6.28318 + wavePhase) + loopSize * std::sin(angle);
        double x = start + length * t + loopSize * 1.2 * std::cos(angle) + slant * (40 - y);
        if (i > 0) canvas.Line(px, py, x, y);
        px = x;
        py = y;
    }
    // The closing underline stroke.
    double ux = start + 10 * unit(random), uy = 64 + 6 * unit(random);
    canvas.Line(ux, uy, ux + length * (0.6 + 0.3 * unit(random)), uy - 4 + 8 * unit(random));

    const auto& pixels = canvas.pixels();
    std::string file;
    const uint32_t offset = 14 + 40;
    file += "BM";
    Put32(file, offset + static_cast<uint32_t>(pixels.size()));
    Put32(file, 0);  // reserved
    Put32(file, offset);
    Put32(file, 40);  // BITMAPINFOHEADER
    Put32(file, kSignatureWidth);
    Put32(file, kSignatureHeight);
    Put16(file, 1);   // planes
    Put16(file, 24);  // bits per pixel
    Put32(file, 0);   // no compression
    Put32(file, static_cast<uint32_t>(pixels.size()));
    Put32(file, 2835);  // 72 dots per inch, both ways
    Put32(file, 2835);
    Put32(file, 0);
    Put32(file, 0);
    file.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());
    return file;
}

}  // namespace zilba_sim
