#include "imaging/io/ie_postscript.h"

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/ie_ccitt.h"
#include "imaging/io/ie_jpeg.h"
#include "platform/clock.h"

namespace {

void Line(TStream& stream, const std::string& text) { IEWriteLineCRLF(stream, text); }

std::string PagesLine(int32_t count) {
    std::string number = std::to_string(count);
    if (number.size() < 6) number.append(6 - number.size(), ' ');
    return "%%Pages: " + number;
}

// "ddd mmm dd hh:nn:ss yyyy" of the local clock.
std::string CreationDate() {
    static const char* const kDays[7] = {"Sat", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const double now = NowAsDateTime();
    int year, month, day, hour, minute, second, ms;
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, ms);
    // Day 0 of the date-time values, 30 December 1899, was a Saturday.
    const auto days = static_cast<long long>(now >= 0 ? now : now - 1);
    const int weekday = static_cast<int>(((days % 7) + 7) % 7);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", kDays[weekday], kMonths[(month + 11) % 12], day,
                  hour, minute, second, year);
    return text;
}

// ASCII85 text of blocks of bytes; counts the characters of the data
// groups as the BeginData comment gives them.
class TEncoded {
public:
    void AddBlock(const uint8_t* data, int32_t count) {
        const size_t room = static_cast<size_t>(count) / 4 * 5 + 5;
        std::vector<char> buffer(room + room / 75 * 2 + 16);
        char* out = buffer.data();
        const uint8_t* in = data;
        const int32_t written = IEASCII85Encode(in, count, out, groups_);
        text_.append(buffer.data(), static_cast<size_t>(written));
    }
    void AddRunLength(const uint8_t* data, int32_t count) {
        std::vector<uint8_t> coded(static_cast<size_t>(count) + static_cast<size_t>(count) / 128 + 2);
        const int32_t n = IERunLengthEncode(data, count, coded.data());
        AddBlock(coded.data(), n);
    }
    int32_t Groups() const { return groups_; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    int32_t groups_ = 0;
};

}  // namespace

std::unique_ptr<TIEPSDocument> IEPSCreateDocument(TStream& stream, TIOParamsVals& params) {
    auto document = std::make_unique<TIEPSDocument>();
    Line(stream, "%!PS-Adobe-3.0");
    Line(stream, "%%Creator: Tamblewick");
    // A comment is one line: line breaks in the title become blanks.
    std::string title = params.PsTitle;
    for (char& c : title)
        if (c == '\r' || c == '\n') c = ' ';
    Line(stream, "%%Title: " + title);
    Line(stream, "%%CreationDate: " + CreationDate());
    Line(stream, "%%DocumentData: Clean7Bit");
    Line(stream, "%%LanguageLevel: 2");
    document->PagesPosition = stream.GetPosition();
    Line(stream, PagesLine(0));
    Line(stream, "%%BoundingBox: 0 0 " + std::to_string(params.PsPaperWidth - 1) + " " +
                     std::to_string(params.PsPaperHeight - 1));
    Line(stream, "%%EndComments");
    Line(stream, "%%BeginProlog");
    Line(stream, "10 dict begin");
    Line(stream, "%%EndProlog");
    document->EndPosition = stream.GetPosition();
    return document;
}

void IEPSAddPage(TIEPSDocument& document, TStream& stream, TIEBitmap& bitmap, TIEProgressRec& progress,
                 TIOParamsVals& params) {
    // The page number follows the count in the header.
    stream.SetPosition(document.PagesPosition);
    char field[16] = {};
    stream.Read(field, 15);
    int32_t count = 1;
    {
        std::string digits(field + 9, field + 14);
        const size_t first = digits.find_first_not_of(' ');
        const size_t last = digits.find_last_not_of(' ');
        digits = first == std::string::npos ? std::string() : digits.substr(first, last - first + 1);
        bool numeric = !digits.empty() && digits.size() <= 5;
        for (char c : digits) numeric = numeric && c >= '0' && c <= '9';
        if (numeric) count = std::stoi(digits);
    }
    const int32_t n = count + 1;
    stream.SetPosition(document.PagesPosition);
    Line(stream, PagesLine(n));
    stream.SetPosition(document.EndPosition);

    const bool bilevel = bitmap.GetPixelFormat() == ie1g;
    params.BitsPerSample = bilevel ? 1 : 8;
    params.SamplesPerPixel = bilevel ? 1 : 3;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    const std::string W = std::to_string(w), H = std::to_string(h);
    int32_t fitW = 1, fitH = 1;
    IEFitSize(w, h, params.PsPaperWidth, params.PsPaperHeight, fitW, fitH);
    // A bilevel page with a coding it has no filter for is run-length coded.
    int32_t compression = params.PsCompression;
    if (bilevel && compression > 2) compression = 0;

    TEncoded data;
    std::vector<std::string> source;
    std::string operation = bilevel ? "image" : "colorimage";
    if (bilevel) {
        const int32_t rowBytes = (w + 7) / 8;
        if (compression == 0) {
            std::vector<uint8_t> rows;
            rows.reserve(static_cast<size_t>(rowBytes) * static_cast<size_t>(h));
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* row = bitmap.GetScanline(y);
                rows.insert(rows.end(), row, row + rowBytes);
                if (progress.OnProgress && h > 0) progress.Report(static_cast<int>(y * 100.0 / h));
            }
            data.AddRunLength(rows.data(), static_cast<int32_t>(rows.size()));
            source.push_back("currentfile /ASCII85Decode filter /RunLengthDecode filter");
        } else {
            bool abort = false;
            const std::vector<uint8_t> coded = CCITTEncodeBitmap(bitmap, compression == 1, abort);
            data.AddBlock(coded.data(), static_cast<int32_t>(coded.size()));
            source.push_back("currentfile /ASCII85Decode filter << /K " + std::string(compression == 1 ? "-1" : "1") +
                             " /BlackIs1 true /Columns " + W + " /Rows " + H +
                             " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >> "
                             "/CCITTFaxDecode filter");
        }
    } else if (compression == 3) {
        TMemoryStream jpeg;
        IEWriteJPEGStream(jpeg, bitmap, params, progress);
        data.AddBlock(jpeg.Memory(), static_cast<int32_t>(jpeg.Bytes().size()));
        source.push_back("currentfile /ASCII85Decode filter << >> /DCTDecode filter");
        source.push_back("false 3");
    } else {
        std::vector<uint8_t> channel(static_cast<size_t>(w));
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = bitmap.GetScanline(y);
            for (int c = 2; c >= 0; --c) {  // red, green, blue from B, G, R bytes
                for (int32_t x = 0; x < w; ++x) channel[static_cast<size_t>(x)] = row[3 * x + c];
                data.AddRunLength(channel.data(), w);
            }
            if (progress.OnProgress && h > 0) progress.Report(static_cast<int>(y * 100.0 / h));
        }
        for (const char* name : {"rstr", "gstr", "bstr"}) source.push_back("/" + std::string(name) + " " + W + " string def");
        for (const char* name : {"rstr", "gstr", "bstr"})
            source.push_back("{currentfile /ASCII85Decode filter /RunLengthDecode filter " + std::string(name) +
                             " readstring pop}");
        source.push_back("true 3");
    }

    Line(stream, "%%Page: " + std::to_string(n) + " " + std::to_string(n));
    Line(stream, "0 " + std::to_string(params.PsPaperHeight) + " translate");
    Line(stream, std::to_string(fitW) + " -" + std::to_string(fitH) + " scale");
    Line(stream, W + " " + H + " " + (bilevel ? "1" : "8"));
    Line(stream, "[ " + W + " 0 0 " + H + " 0 0 ]");
    for (const std::string& text : source) Line(stream, text);
    Line(stream, "%%BeginData:      " + std::to_string(data.Groups()) + " ASCII Bytes");
    Line(stream, operation);
    const std::string& text = data.Text();
    if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    Line(stream, "%%EndData");
    Line(stream, "showpage");
    document.EndPosition = stream.GetPosition();
}

void IEPSCloseDocument(std::unique_ptr<TIEPSDocument> document, TStream& stream) {
    if (!document) return;
    stream.SetPosition(document->EndPosition);
    Line(stream, "%%Trailer");
    Line(stream, "end");
    Line(stream, "%%EOF");
}

void IEWritePSStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    auto document = IEPSCreateDocument(stream, params);
    IEPSAddPage(*document, stream, bitmap, progress, params);
    IEPSCloseDocument(std::move(document), stream);
}
