// The SWF 8 bitmap filters and the filter list of PlaceObject3 and of SWF 8
// button records. Each filter kind reads and writes its record, copies
// itself from another filter of its kind and has an XML element; the list
// builds filters from their one-byte identifier or their element name.
// The colour-matrix filter can also build its matrix from four picture
// adjustments (brightness, contrast, saturation, hue).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/value_records.h"

enum : uint8_t {
    kFilterDropShadow = 0,
    kFilterBlur = 1,
    kFilterGlow = 2,
    kFilterBevel = 3,
    kFilterGradientGlow = 4,
    kFilterConvolution = 5,
    kFilterColorMatrix = 6,
    kFilterGradientBevel = 7,
};

class TSWFFilter {
public:
    explicit TSWFFilter(uint8_t id) : FilterID(id) {}
    virtual ~TSWFFilter() = default;

    uint8_t FilterID;

    // Raises EConvertError when source is another kind of filter.
    virtual void CopyFrom(const TSWFFilter& source) = 0;
    // The body only: the list has read the identifier byte already.
    virtual void ReadFromStream(TBitsEngine& be) = 0;
    // The identifier byte and the body.
    virtual void WriteToStream(TBitsEngine& be) = 0;
    virtual void LoadFromXml(const TXmlNode& node) = 0;
    virtual void SaveToXml(TXmlNode node) = 0;
};

class TSWFColorMatrixFilter : public TSWFFilter {
public:
    TSWFColorMatrixFilter() : TSWFFilter(kFilterColorMatrix) {}

    // Row order R0..R4, G0..G4, B0..B4, A0..A4; entry r*5 + c multiplies
    // channel c into channel r, column 4 is the offset.
    float Matrix[20] = {};

    float GetMatrixValue(int index) const;
    void SetMatrixValue(int index, float value);
    void ResetMatrix();
    void AdjustColorMatrix(int brightness, int contrast, int saturation, int hue);

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFConvolutionFilter : public TSWFFilter {
public:
    TSWFConvolutionFilter() : TSWFFilter(kFilterConvolution), DefaultColor(true) {}

    uint8_t MatrixX = 0, MatrixY = 0;
    float Divisor = 0, Bias = 0;
    // Row by row; an index past the end reads as 0.0, and setting one first
    // extends the list with 0.0 entries.
    std::vector<float> Matrix;
    TSWFRGBA DefaultColor;
    bool Clamp = false, PreserveAlpha = false;

    float GetMatrixValue(int index) const;
    void SetMatrixValue(int index, float value);

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFBlurFilter : public TSWFFilter {
public:
    TSWFBlurFilter() : TSWFFilter(kFilterBlur), Passes(1) {}

    float BlurX = 0, BlurY = 0;  // pixels
    uint8_t Passes;

    virtual std::unique_ptr<TSWFBlurFilter> Create() const { return std::make_unique<TSWFBlurFilter>(); }

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;

protected:
    // The descendants start with Passes 0, not the blur's 1.
    explicit TSWFBlurFilter(uint8_t id) : TSWFFilter(id), Passes(0) {}
    void CopyBlurFrom(const TSWFBlurFilter& source);
    void LoadBlurXml(const TXmlNode& node);
    void SaveBlurXml(TXmlNode node) const;
};

class TSWFGlowFilter : public TSWFBlurFilter {
public:
    TSWFGlowFilter() : TSWFBlurFilter(kFilterGlow), GlowColor(true) {}

    float Strength = 0;  // 1.0 is 100 %
    TSWFRGBA GlowColor;
    bool InnerGlow = false, Knockout = false, CompositeSource = true;

    std::unique_ptr<TSWFBlurFilter> Create() const override { return std::make_unique<TSWFGlowFilter>(); }

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFDropShadowFilter : public TSWFBlurFilter {
public:
    TSWFDropShadowFilter();

    float Angle = 0;     // radians
    float Distance = 0;  // pixels
    float Strength = 0;
    TSWFRGBA DropShadowColor;
    bool InnerShadow = false, Knockout = false, CompositeSource = true;

    std::unique_ptr<TSWFBlurFilter> Create() const override { return std::make_unique<TSWFDropShadowFilter>(); }

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFBevelFilter : public TSWFBlurFilter {
public:
    TSWFBevelFilter() : TSWFBlurFilter(kFilterBevel), ShadowColor(true), HighlightColor(true) {}

    float Angle = 0, Distance = 0, Strength = 0;
    TSWFRGBA ShadowColor, HighlightColor;
    bool InnerShadow = false, Knockout = false, CompositeSource = true, OnTop = false;

    std::unique_ptr<TSWFBlurFilter> Create() const override { return std::make_unique<TSWFBevelFilter>(); }

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

// The stream form holds up to 255 gradient entries; they are all kept, in a
// list that grows as entries are asked for, so no count read from a file or
// a document can reach past a fixed table.
class TSWFGradientGlowFilter : public TSWFBlurFilter {
public:
    TSWFGradientGlowFilter();

    static constexpr int kMaxColors = 255;

    float Angle = 0, Distance = 0, Strength = 0;
    bool InnerShadow = false, Knockout = false, CompositeSource = true, OnTop = false;
    uint8_t NumColors = 2;

    // Entries are numbered 1..255; EConvertError outside that range.
    TSWFRGBA& GetGradientColor(int index);
    uint8_t GetGradientRatio(int index) const;
    void SetGradientRatio(int index, uint8_t ratio);
    // Entries created so far (at least NumColors after a read or load).
    size_t EntryCount() const { return entries_.size(); }

    std::unique_ptr<TSWFBlurFilter> Create() const override { return std::make_unique<TSWFGradientGlowFilter>(); }

    void CopyFrom(const TSWFFilter& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;

private:
    struct TEntry {
        uint8_t Ratio = 0;
        TSWFRGBA Color = TSWFRGBA(false);
    };
    TEntry& Entry(int index);
    std::vector<TEntry> entries_;
};

class TSWFGradientBevelFilter : public TSWFGradientGlowFilter {
public:
    TSWFGradientBevelFilter() { FilterID = kFilterGradientBevel; }
    std::unique_ptr<TSWFBlurFilter> Create() const override { return std::make_unique<TSWFGradientBevelFilter>(); }
};

// A filter of the identifier's class (0..7); EReadError for any other.
std::unique_ptr<TSWFFilter> CreateFilter(uint8_t id);

class TSWFFilterList {
public:
    static constexpr size_t kMaxFilters = 255;

    std::vector<std::unique_ptr<TSWFFilter>> Items;

    size_t Count() const { return Items.size(); }
    TSWFFilter& GetFilter(size_t index) const { return *Items.at(index); }
    // Builds the filter of that identifier and appends it.
    TSWFFilter& CreateFilterById(uint8_t id);
    void Clear() { Items.clear(); }
    // Replaces the list by deep copies of source's filters.
    void CopyFrom(const TSWFFilterList& source);

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be);
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node);
};
