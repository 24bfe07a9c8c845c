// Dithering: palette indices for a stream of 24-bit pixels through a colour
// lookup, spreading each pixel's quantisation error onto pixels not yet
// visited. Every ditherer scans rows in alternating directions (serpentine):
// the caller starts each row at Column() and steps by Direction() while the
// column lies inside the row, then calls NextLine().
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "pictures/color_reduction.h"

enum TDitherMethod {
    dtNearest = 0,
    dtFloydSteinberg = 1,
    dtStucki = 2,
    dtSierra = 3,
    dtJaJuNi = 4,
    dtSteveArche = 5,
    dtBurkes = 6,
};

// Plain nearest colour (method 0) and the base of the others.
class TDitherEngine {
public:
    TDitherEngine(int width, TColorLookup& lookup) : lookup_(lookup), width_(width) {}
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine&) = delete;
    TDitherEngine& operator=(const TDitherEngine&) = delete;

    int Direction() const { return direction_; }
    int Column() const { return column_; }

    virtual int Dither(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen);
    virtual void NextLine();

protected:
    TColorLookup& lookup_;
    int width_;
    int direction_ = 1;
    int column_ = 0;
};

class TFloydSteinbergDitherer : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int width, TColorLookup& lookup);
    int Dither(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;
    void NextLine() override;

private:
    struct Channel {
        std::vector<int> cells;
        int carry = 0;
        int below = 0;
        int belowPrevious = 0;
    };
    std::array<Channel, 3> channels_;
    int cell_ = 0;
};

// Ditherers that keep several rows of error cells, with guard cells at both
// ends so that kernel writes near the row ends need no bounds tests.
class TErrorRowDitherer : public TDitherEngine {
public:
    struct Weight {
        int row;
        int offset;  // cells ahead in the scan direction (negative: behind)
        int weight;
    };
    TErrorRowDitherer(int width, TColorLookup& lookup, int rows, int guard, int divisor, std::vector<Weight> kernel);
    int Dither(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;
    void NextLine() override;

private:
    int guard_;
    int divisor_;
    std::vector<Weight> kernel_;
    // rows_[channel][row] holds width + 2 x guard cells.
    std::array<std::vector<std::vector<int>>, 3> rows_;
    int cell_;
};

// The 5-wide, 3-row family.
class T5by3Ditherer : public TErrorRowDitherer {
public:
    T5by3Ditherer(int width, TColorLookup& lookup, int divisor, std::vector<Weight> kernel)
        : TErrorRowDitherer(width, lookup, 3, 2, divisor, std::move(kernel)) {}
};

class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int width, TColorLookup& lookup);
};
class TSierraDitherer : public T5by3Ditherer {
public:
    TSierraDitherer(int width, TColorLookup& lookup);
};
class TJaJuNiDitherer : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int width, TColorLookup& lookup);
};
class TSteveArcheDitherer : public TErrorRowDitherer {
public:
    TSteveArcheDitherer(int width, TColorLookup& lookup);
};
class TBurkesDitherer : public TErrorRowDitherer {
public:
    TBurkesDitherer(int width, TColorLookup& lookup);
};

// The ditherer of a method 0..6, or null for any other method.
std::unique_ptr<TDitherEngine> CreateDitherer(int method, int width, TColorLookup& lookup);
