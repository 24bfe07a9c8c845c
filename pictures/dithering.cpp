#include "pictures/dithering.h"

#include <algorithm>

namespace {

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

int TDitherEngine::Dither(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    int index = lookup_.Lookup(red, green, blue, chosen);
    column_ += direction_;
    return index;
}

void TDitherEngine::NextLine() {
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
}

// ---------------------------------------------------------------- Floyd-Steinberg

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup) : TDitherEngine(width, lookup) {
    for (Channel& channel : channels_) channel.cells.assign(static_cast<size_t>(width) + 2, 0);
}

int TFloydSteinbergDitherer::Dither(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    const uint8_t source[3] = {red, green, blue};
    int values[3];
    for (int c = 0; c < 3; ++c) {
        Channel& channel = channels_[c];
        values[c] = Clamp(source[c] + (channel.cells[cell_] + channel.carry + 8) / 16);
    }
    int index = lookup_.Lookup(static_cast<uint8_t>(values[0]), static_cast<uint8_t>(values[1]),
                               static_cast<uint8_t>(values[2]), chosen);
    const uint8_t picked[3] = {chosen.Red, chosen.Green, chosen.Blue};
    for (int c = 0; c < 3; ++c) {
        Channel& channel = channels_[c];
        int error = values[c] - picked[c];
        if (error != 0) {
            channel.cells[cell_] = channel.belowPrevious + 3 * error;
            channel.belowPrevious = channel.below + 5 * error;
            channel.below = error;
            channel.carry = 7 * error;
        } else {
            channel.carry = 0;
        }
    }
    cell_ += direction_;
    column_ += direction_;
    return index;
}

void TFloydSteinbergDitherer::NextLine() {
    for (Channel& channel : channels_) {
        channel.cells[cell_] = channel.belowPrevious;
        channel.carry = channel.below = channel.belowPrevious = 0;
    }
    TDitherEngine::NextLine();
    cell_ = direction_ > 0 ? 0 : width_ + 1;
}

// ---------------------------------------------------------------- error-row ditherers

TErrorRowDitherer::TErrorRowDitherer(int width, TColorLookup& lookup, int rows, int guard, int divisor,
                                     std::vector<Weight> kernel)
    : TDitherEngine(width, lookup), guard_(guard), divisor_(divisor), kernel_(std::move(kernel)), cell_(guard) {
    for (auto& channel : rows_)
        channel.assign(static_cast<size_t>(rows), std::vector<int>(static_cast<size_t>(width) + 2 * guard, 0));
}

int TErrorRowDitherer::Dither(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    const uint8_t source[3] = {red, green, blue};
    int values[3];
    for (int c = 0; c < 3; ++c) values[c] = Clamp(source[c] + (rows_[c][0][cell_] + divisor_ / 2) / divisor_);
    int index = lookup_.Lookup(static_cast<uint8_t>(values[0]), static_cast<uint8_t>(values[1]),
                               static_cast<uint8_t>(values[2]), chosen);
    const uint8_t picked[3] = {chosen.Red, chosen.Green, chosen.Blue};
    for (int c = 0; c < 3; ++c) {
        int error = values[c] - picked[c];
        if (error == 0) continue;
        for (const Weight& w : kernel_) rows_[c][w.row][cell_ + w.offset * direction_] += w.weight * error;
    }
    cell_ += direction_;
    column_ += direction_;
    return index;
}

void TErrorRowDitherer::NextLine() {
    for (auto& channel : rows_) {
        std::fill(channel[0].begin(), channel[0].end(), 0);
        std::rotate(channel.begin(), channel.begin() + 1, channel.end());
    }
    TDitherEngine::NextLine();
    cell_ = direction_ > 0 ? guard_ : width_ + guard_ - 1;
}

TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 42,
                    {{0, 1, 8}, {0, 2, 4},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}) {}

TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 32,
                    {{0, 1, 5}, {0, 2, 3},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}) {}

TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 48,
                    {{0, 1, 7}, {0, 2, 5},
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}) {}

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : TErrorRowDitherer(width, lookup, 4, 3, 200,
                        {{0, 2, 32},
                         {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},
                         {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
                         {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}) {}

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : TErrorRowDitherer(width, lookup, 2, 2, 32,
                        {{0, 1, 8}, {0, 2, 4},
                         {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}) {}

std::unique_ptr<TDitherEngine> CreateDitherer(int method, int width, TColorLookup& lookup) {
    switch (method) {
    case dtNearest: return std::make_unique<TDitherEngine>(width, lookup);
    case dtFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case dtStucki: return std::make_unique<TStuckiDitherer>(width, lookup);
    case dtSierra: return std::make_unique<TSierraDitherer>(width, lookup);
    case dtJaJuNi: return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case dtSteveArche: return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case dtBurkes: return std::make_unique<TBurkesDitherer>(width, lookup);
    default: return nullptr;
    }
}
