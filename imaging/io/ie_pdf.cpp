#include "imaging/io/ie_pdf.h"

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pdf_objects.h"
#include "imaging/io/ie_ccitt.h"
#include "imaging/io/ie_jpeg.h"
#include "platform/clock.h"

struct TIEPDFDocument {
    TIEPDFObjectList objects;
    std::vector<TIEPDFDictionaryObject*> pages;
    std::vector<TIEPDFStreamObject*> images;
    std::vector<TIEPDFStreamObject*> contents;
    TIEPDFDictionaryObject* resources = nullptr;
    TIEPDFDictionaryObject* xobjects = nullptr;  // the resources' XObject entry
    TIEPDFDictionaryObject* catalog = nullptr;
};

void TIEPDFDocumentDeleter::operator()(TIEPDFDocument* document) const { delete document; }

namespace {

TIEPDFNameObject* Name(const char* name) { return new TIEPDFNameObject(name); }
TIEPDFNumericObject* Number(double value) { return new TIEPDFNumericObject(value); }

std::string CreationDate() {
    const double now = NowAsDateTime();
    int year, month, day, hour, minute, second, ms;
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, ms);
    char text[32];
    std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
    return text;
}

TIEPDFDictionaryObject* CCITTParameters(int32_t k, int32_t width, int32_t height) {
    auto* parms = new TIEPDFDictionaryObject;
    parms->AddObject("K", Number(k));
    parms->AddObject("BlackIs1", new TIEPDFBooleanObject(true));
    parms->AddObject("Columns", Number(width));
    parms->AddObject("Rows", Number(height));
    parms->AddObject("EndOfLine", new TIEPDFBooleanObject(false));
    parms->AddObject("Uncompressed", new TIEPDFBooleanObject(true));
    parms->AddObject("EncodedByteAlign", new TIEPDFBooleanObject(false));
    parms->AddObject("EndOfBlock", new TIEPDFBooleanObject(false));
    return parms;
}

// Rows through the LZW hook, top row first, then its closing call.
template <typename RowOf>
void LZWRows(TIOParamsVals& params, int32_t height, int32_t length, RowOf rowOf, std::vector<uint8_t>& data) {
    TMemoryStream coded;
    TIETIFFLZWState* state = nullptr;
    for (int32_t y = 0; y < height; ++y) params.TiffLZWCompress(rowOf(y), length, coded, state);
    params.TiffLZWCompress(nullptr, 0, coded, state);
    data = coded.TakeBytes();
}

}  // namespace

TIEPDFDocumentPtr IEPDFCreateDocument() {
    TIEPDFDocumentPtr document(new TIEPDFDocument);
    document->catalog = IEPDFCreateCatalog(document->objects);
    document->resources = IEPDFAdd(document->objects, std::make_unique<TIEPDFDictionaryObject>());
    auto* procSet = new TIEPDFArrayObject;
    procSet->Add(Name("PDF"));
    procSet->Add(Name("ImageB"));
    document->resources->AddObject("ProcSet", procSet);
    document->xobjects = new TIEPDFDictionaryObject;
    document->resources->AddObject("XObject", document->xobjects);
    return document;
}

void IEPDFAddPage(TIEPDFDocument& document, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    const bool bilevel = bitmap.GetPixelFormat() == ie1g;
    params.BitsPerSample = bilevel ? 1 : 8;
    params.SamplesPerPixel = bilevel ? 1 : 3;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    const int32_t rowBytes = (w + 7) / 8;

    if (bilevel && params.PdfCompression == 4) params.PdfCompression = 3;
    int32_t compression = params.PdfCompression;
    // LZW needs the encoder hook; without it, and for codings a page kind
    // has none of, the page is stored uncompressed.
    if (compression == 5 && !params.TiffLZWCompress) compression = 0;
    if (compression > 5) compression = 0;

    auto image = std::make_unique<TIEPDFStreamObject>();
    TIEPDFDictionaryObject& dict = image->Dictionary;
    std::vector<uint8_t>& data = image->Data;
    if (bilevel) {
        switch (compression) {
            case 1: {
                std::vector<uint8_t> rows;
                for (int32_t y = 0; y < h; ++y) {
                    const uint8_t* row = bitmap.GetScanline(y);
                    rows.insert(rows.end(), row, row + rowBytes);
                }
                data.resize(rows.size() + rows.size() / 128 + 2);
                data.resize(static_cast<size_t>(
                    IERunLengthEncode(rows.data(), static_cast<int32_t>(rows.size()), data.data())));
                auto* filters = new TIEPDFArrayObject;
                filters->Add(Name("RunLengthDecode"));
                dict.AddObject("Filter", filters);
                break;
            }
            case 2:
            case 3: {
                bool abort = false;
                data = CCITTEncodeBitmap(bitmap, compression == 2, abort);
                if (abort) progress.Abort();
                dict.AddObject("Filter", Name("CCITTFaxDecode"));
                dict.AddObject("DecodeParms", CCITTParameters(compression == 2 ? -1 : 1, w, h));
                break;
            }
            case 5:
                LZWRows(params, h, rowBytes, [&](int32_t y) { return bitmap.GetScanline(y); }, data);
                dict.AddObject("Filter", Name("LZWDecode"));
                break;
            default:
                for (int32_t y = 0; y < h; ++y) {
                    const uint8_t* row = bitmap.GetScanline(y);
                    data.insert(data.end(), row, row + rowBytes);
                }
                break;
        }
        dict.AddObject("ColorSpace", Name("DeviceGray"));
        dict.AddObject("BitsPerComponent", Number(1));
    } else {
        const char* space = "DeviceRGB";
        if (compression == 4) {
            TMemoryStream jpeg;
            IEWriteJPEGStream(jpeg, bitmap, params, progress);
            data = jpeg.TakeBytes();
            dict.AddObject("Filter", Name("DCTDecode"));
            if (params.JpegColorSpace == 1) space = "DeviceGray";
        } else if (compression == 5) {
            std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3);
            LZWRows(
                params, h, w * 3,
                [&](int32_t y) {
                    IECopySwapRB(rgb.data(), bitmap.GetScanline(y), w);
                    return rgb.data();
                },
                data);
            dict.AddObject("Filter", Name("LZWDecode"));
        } else {
            data.reserve(static_cast<size_t>(w) * 3 * static_cast<size_t>(h));
            std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3);
            for (int32_t y = 0; y < h; ++y) {
                IECopySwapRB(rgb.data(), bitmap.GetScanline(y), w);
                data.insert(data.end(), rgb.begin(), rgb.end());
            }
        }
        dict.AddObject("ColorSpace", Name(space));
        dict.AddObject("BitsPerComponent", Number(8));
    }
    dict.InsertObject(0, "Type", Name("XObject"));
    dict.InsertObject(1, "Subtype", Name("Image"));
    dict.AddObject("Width", Number(w));
    dict.AddObject("Height", Number(h));
    auto* added = IEPDFAdd(document.objects, std::move(image));
    document.images.push_back(added);
    const size_t k = document.images.size();

    int32_t fitW = 1, fitH = 1;
    IEFitSize(w, h, params.PdfPaperWidth, params.PdfPaperHeight, fitW, fitH);
    const std::string text = "q\n" + std::to_string(fitW) + " 0 0 " + std::to_string(fitH) + " 0 " +
                             std::to_string(params.PdfPaperHeight - fitH) + " cm\n/lm" + std::to_string(k) + " Do\nQ";
    auto* content = IEPDFAdd(document.objects, std::make_unique<TIEPDFStreamObject>(text.data(), text.size()));
    document.contents.push_back(content);

    document.xobjects->AddObject("lm" + std::to_string(k), new TIEPDFRefObject(added->Number, 0));
    auto box = std::make_unique<TIEPDFArrayObject>();
    box->Add(Number(0));
    box->Add(Number(0));
    box->Add(Number(params.PdfPaperWidth));
    box->Add(Number(params.PdfPaperHeight));
    IEPDFCreatePage(document.objects, document.pages, document.resources, content->Number, std::move(box));
}

void IEPDFCloseDocument(TIEPDFDocumentPtr document, TStream& stream, TIOParamsVals& params) {
    if (!document) return;
    IEPDFCreatePages(document->objects, document->pages);
    auto info = std::make_unique<TIEPDFDictionaryObject>();
    const std::pair<const char*, const std::string*> fields[] = {
        {"Title", &params.PdfTitle},       {"Author", &params.PdfAuthor},   {"Subject", &params.PdfSubject},
        {"Keywords", &params.PdfKeywords}, {"Creator", &params.PdfCreator}, {"Producer", &params.PdfProducer}};
    for (const auto& [key, value] : fields)
        if (!value->empty()) info->AddObject(key, new TIEPDFStringObject(*value));
    info->AddObject("CreationDate", new TIEPDFStringObject(CreationDate()));
    auto* infoObject = IEPDFAdd(document->objects, std::move(info));
    IEPDFWriteHeader(stream);
    IEPDFWriteObjects(stream, document->objects);
    IEPDFWriteXRef(stream, document->objects, *infoObject);
}

void IEWritePDFStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    TIEPDFDocumentPtr document = IEPDFCreateDocument();
    IEPDFAddPage(*document, bitmap, params, progress);
    IEPDFCloseDocument(std::move(document), stream, params);
}
