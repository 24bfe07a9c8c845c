#include "imaging/core/ie_compose.h"

void IERenderLayer(TIEBitmap& src, const TRect& srcRect, TIEBitmap& dest, const TRect& dstRect,
                   TResampleFilter filter, int32_t transparency, bool useAlpha, const TRect& clip, uint8_t blendMode,
                   const std::vector<int32_t>* columns, const std::vector<int32_t>* rows) {
    if (srcRect.Right <= 0 || srcRect.Bottom <= 0 || dstRect.Right <= 0 || dstRect.Bottom <= 0) return;
    // The renderer skips an alpha channel marked fully opaque; readers that
    // fill one row by row may leave that mark set, so it is checked first.
    if (useAlpha && src.GetHasAlphaChannel() && src.GetAlphaChannel()->FullOpacity())
        IEUpdateAlphaFullFlag(*src.GetAlphaChannel());
    TIERenderTables tables;
    if (columns) tables.XTable = *columns;
    if (rows) tables.YTable = *rows;
    const bool clipped = clip.Right > clip.Left && clip.Bottom > clip.Top;
    const TRect inclusive{clip.Left, clip.Top, clip.Right - 1, clip.Bottom - 1};
    src.RenderToTIEBitmap(dest, &tables, clipped ? &inclusive : nullptr, dstRect.Left, dstRect.Top, dstRect.Right,
                          dstRect.Bottom, srcRect.Left, srcRect.Top, srcRect.Right, srcRect.Bottom, useAlpha, false,
                          transparency, filter, true, blendMode);
}

void IESaveRawBitmap(TIEBitmap& bitmap, TStream& stream) { bitmap.SaveRawToStream(nullptr, &stream); }

bool IELoadRawBitmap(TIEBitmap& bitmap, TStream& stream) { return bitmap.LoadRawFromStream(nullptr, 0, &stream); }
