// Morph shapes of the movie builder: a shape tween whose start and end
// paths are drawn with two edge builders record for record, with morph
// fills and outlines that hold a start and an end value each, written as a
// DefineMorphShape or, on request, a DefineMorphShape2. A placement's ratio
// (0 start .. 65535 end) picks the state shown.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "movie/edges.h"
#include "movie/flash_object.h"
#include "swf/morph_tags.h"

class TFlashImage;

class TFlashMorphShape : public TFlashVisualObject {
public:
    explicit TFlashMorphShape(TFlashMovie* movie = nullptr);
    ~TFlashMorphShape() override;
    TFlashMorphShape(const TFlashMorphShape&) = delete;
    TFlashMorphShape& operator=(const TFlashMorphShape&) = delete;

    uint16_t Fill0Index = 0, LineStyleIndex = 0;
    bool UseDefineMorphShape2 = false;

    TSWFDefineMorphShape& Tag() { return *tag_; }
    const TSWFDefineMorphShape& Tag() const { return *tag_; }
    // The paths must have the same records in the same order: draw the same
    // kinds of steps on both.
    TFlashEdges& StartEdges() { return *startEdges_; }
    TFlashEdges& EndEdges() { return *endEdges_; }

    // Movie units; the bounds are kept 10 twips wider on every side.
    void SetStartBounds(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void SetEndBounds(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Twips.
    int32_t GetStartWidth() const;
    int32_t GetStartHeight() const;
    int32_t GetEndWidth() const;
    int32_t GetEndHeight() const;

    void SetFill0Index(uint16_t index);
    void SetLineStyleIndex(uint16_t index);
    TSWFStyleChangeRecord* GetLastStyleChangeRecord();

    // Each new style is selected (fills as fill style 0).
    TSWFMorphFillStyle* AddFillStyle(std::unique_ptr<TSWFMorphFillStyle> fill);
    TSWFMorphLineStyle* AddLineStyleObject(std::unique_ptr<TSWFMorphLineStyle> style = nullptr);
    // Packed RGBA colours, red in the low byte.
    TSWFMorphColorFill* AddSolidFill(TSWFRGBAValue startColor, TSWFRGBAValue endColor);
    // Widths in movie units.
    TSWFMorphLineStyle* AddLineStyle(int32_t startWidth, int32_t endWidth, TSWFRGBAValue startColor,
                                     TSWFRGBAValue endColor);
    // Over the bounds as they are now; angles in degrees. Two to 15 colours,
    // the same number at the start and the end: EConvertError otherwise.
    TSWFMorphGradientFill* AddLinearGradient(TSWFRGBAValue startColor1, TSWFRGBAValue startColor2,
                                             TSWFRGBAValue endColor1, TSWFRGBAValue endColor2, float startAngle = 0,
                                             float endAngle = 0);
    TSWFMorphGradientFill* AddLinearGradientColors(const std::vector<TSWFRGBAValue>& startColors,
                                                   const std::vector<TSWFRGBAValue>& endColors, float startAngle = 0,
                                                   float endAngle = 0);
    // Centres in percent of the width and height; keeps the first 8 colours.
    TSWFMorphGradientFill* AddRadialGradient(TSWFRGBAValue startColor1, TSWFRGBAValue startColor2,
                                             TSWFRGBAValue endColor1, TSWFRGBAValue endColor2, uint8_t startX = 50,
                                             uint8_t startY = 50, uint8_t endX = 50, uint8_t endY = 50);
    TSWFMorphGradientFill* AddRadialGradientColors(const std::vector<TSWFRGBAValue>& startColors,
                                                   const std::vector<TSWFRGBAValue>& endColors, uint8_t startX = 50,
                                                   uint8_t startY = 50, uint8_t endX = 50, uint8_t endY = 50);
    // Mode 0 clips the picture at its size times the scales, 1 fits it to
    // the bounds, 2 tiles it. The picture's definition moves in front.
    TSWFMorphImageFill* AddImageFill(TFlashImage* image, uint8_t mode, float startScaleX = 1, float startScaleY = 1,
                                     float endScaleX = 1, float endScaleY = 1);

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void OwnerChanged() override;
    void SetCharacterId(uint16_t id) override;
    int RequiredVersion() const override { return UseDefineMorphShape2 ? 8 : 3; }
    void WriteTag(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

private:
    TSWFStyleChangeRecord* SelectionTarget();
    TRect Widened(int32_t left, int32_t top, int32_t right, int32_t bottom) const;
    void FitLinear(TSWFMorphGradientFill& fill, float startAngle, float endAngle) const;
    void FitRadial(TSWFMorphGradientFill& fill, int startX, int startY, int endX, int endY) const;

    std::unique_ptr<TSWFDefineMorphShape> tag_;
    std::unique_ptr<TFlashEdges> startEdges_;
    std::unique_ptr<TFlashEdges> endEdges_;
};
