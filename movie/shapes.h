// Shapes of the movie builder: a path built with the edge builder, its fill
// and line styles and its bounds, written as DefineShape2, DefineShape3 (when
// a colour is translucent) or DefineShape4. A shape takes solid fills,
// linear and radial gradients of several colours and line styles, and can
// draw its outline dashed, with or without a colour in the gaps.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "movie/edges.h"
#include "movie/flash_object.h"
#include "swf/shape_records.h"
#include "swf/shape_tags.h"
#include "swf/styles.h"
#include "swf/value_records.h"

class TFlashImage;

// The gradient square fitted over a box of width w and height h (twips)
// whose top-left corner is (xMin, yMin): along the angle (degrees) for a
// linear gradient, centred at a percentage of the box for a radial one.
void FitLinearGradientMatrix(TSWFMatrix& matrix, int32_t w, int32_t h, int32_t xMin, int32_t yMin, float angle);
void FitRadialGradientMatrix(TSWFMatrix& matrix, int32_t w, int32_t h, int32_t xMin, int32_t yMin, int xCenter,
                             int yCenter);
// The ratio of record i (from 1) of count records spread evenly over 0..255.
uint8_t EvenGradientRatio(int i, int count);

// A dash pattern: dash and gap lengths in turn, in pixels (20 twips each,
// whatever the movie's units).
class TFlashLineStyle {
public:
    uint8_t GetCount() const { return static_cast<uint8_t>(items_.size()); }
    // Grows with zero lengths or shrinks from the end.
    void SetCount(uint8_t count) { items_.resize(count); }
    // EConvertError for an index outside the pattern.
    uint8_t GetItem(int index) const;
    void SetItem(int index, uint8_t length);
    // Whether some length is not zero: only such a pattern can be walked.
    bool HasLength() const;

private:
    std::vector<uint8_t> items_;
};

class TFlashShape : public TFlashVisualObject {
public:
    explicit TFlashShape(TFlashMovie* movie = nullptr);
    ~TFlashShape() override;
    TFlashShape(const TFlashShape&) = delete;
    TFlashShape& operator=(const TFlashShape&) = delete;

    TSWFShapeRecordList ListEdges;  // the path
    TSWFRect Bounds;                // twips, without line widths
    TSWFFillStyleList FillStyles;
    TSWFLineStyleList LineStyles;
    uint16_t Fill0Index = 0, Fill1Index = 0, LineStyleIndex = 0;  // 1-based, 0 none
    bool Dashed = false;
    // Style selections go to the last style-change record of the path
    // instead of the first.
    bool StyleToLastRecord = false;
    // Some colour is translucent: written as DefineShape3.
    bool HasAlpha = false;
    bool UseDefineShape4 = false;

    TFlashEdges& Edges() { return *edges_; }
    const TFlashEdges& Edges() const { return *edges_; }

    // ---- bounds, in movie units (divided by the unit factor)
    void SetBounds(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // The bounds of the path, control points included.
    void CalcBounds();
    int32_t GetXMin() const { return Bounds.Xmin / GetUnitFactor(); }
    int32_t GetYMin() const { return Bounds.Ymin / GetUnitFactor(); }
    int32_t GetXMax() const { return Bounds.Xmax / GetUnitFactor(); }
    int32_t GetYMax() const { return Bounds.Ymax / GetUnitFactor(); }
    int32_t GetWidth(bool inTwips = false) const;
    int32_t GetHeight(bool inTwips = false) const;

    // ---- style selection on the first (or last) style-change record
    void SetFill0Index(uint16_t index);
    void SetFill1Index(uint16_t index);
    void SetLineStyleIndex(uint16_t index);
    TSWFStyleChangeRecord* GetLastStyleChangeRecord();

    // ---- styles; each new style is selected (fills as fill style 1)
    TSWFFillStyle* AddFillStyle(std::unique_ptr<TSWFFillStyle> fill);
    // Selects a fill that the shape holds already; EConvertError for another.
    TSWFFillStyle* SelectFillStyle(TSWFFillStyle* existing);
    // A plain LINESTYLE when none is given.
    TSWFLineStyle* AddLineStyleObject(std::unique_ptr<TSWFLineStyle> style = nullptr);
    TSWFLineStyle* SelectLineStyle(TSWFLineStyle* existing);
    // Packed RGBA, red in the low byte and alpha in the high one.
    TSWFColorFill* AddSolidFill(TSWFRGBAValue rgba);
    // The low 24 bits of a toolkit colour (red in the low byte), opaque.
    TSWFColorFill* AddSolidFillColor(uint32_t color);
    // Width in movie units.
    TSWFLineStyle* AddLineStyle(int32_t width, TSWFRGBAValue rgba);
    TSWFLineStyle* AddLineStyleColor(int32_t width, uint32_t color);
    // Over the bounds as they are now; angle in degrees. One to 15 colours:
    // EConvertError for none or more.
    TSWFGradientFill* AddLinearGradient(TSWFRGBAValue color1, TSWFRGBAValue color2, float angle = 0);
    TSWFGradientFill* AddLinearGradientColors(const std::vector<TSWFRGBAValue>& colors, float angle = 0);
    // Centre in percent of the width and height; keeps the first 8 colours.
    TSWFGradientFill* AddRadialGradient(TSWFRGBAValue color1, TSWFRGBAValue color2, uint8_t xCenter = 50,
                                        uint8_t yCenter = 50);
    TSWFGradientFill* AddRadialGradientColors(const std::vector<TSWFRGBAValue>& colors, uint8_t xCenter = 50,
                                              uint8_t yCenter = 50);
    // A bitmap fill from the shape's top-left corner: mode 0 clips the
    // picture at its size times the scales, 1 fits it to the bounds as they
    // are now, 2 tiles it. The picture's definition is moved in front of the
    // shape in the movie when it stands after it.
    TSWFImageFill* AddImageFill(TFlashImage* image, uint8_t mode, float scaleX = 1, float scaleY = 1);

    // ---- dashed outlines
    // Created on first use; turns Dashed on.
    TFlashLineStyle& GetDashPattern();
    bool HasDashPattern() const { return dashPattern_ != nullptr; }
    // The colour drawn in the gaps, created on first use; without one the
    // gaps are left empty.
    TSWFRGBA& GetGapColor();
    bool HasGapColor() const { return gapColor_ != nullptr; }

    // A full copy: path, pen, styles, bounds, pattern and flags, so that the
    // copy writes the same body.
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void OwnerChanged() override;
    // 3 with a translucent colour, else 2; 8 for DefineShape4.
    int RequiredVersion() const override;
    void WriteTag(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

private:
    std::unique_ptr<TFlashEdges> edges_;
    std::unique_ptr<TFlashLineStyle> dashPattern_;
    std::unique_ptr<TSWFRGBA> gapColor_;

    // The record style selections go to, or none.
    TSWFStyleChangeRecord* SelectionTarget();
    bool NeedsAlpha() const;
    void SetGradientColors(TSWFGradientFill& fill, const std::vector<TSWFRGBAValue>& colors);
    void FitLinear(TSWFGradientFill& fill, float angle) const;
    void FitRadial(TSWFGradientFill& fill, int xCenter, int yCenter) const;
    // Fills tag's records with the dashed form of the path.
    void WriteDashed(TSWFDefineShape& tag, uint16_t gapStyle);
};
