#include "imaging/io/ie_vidurer_io.h"

#include <exception>
#include <filesystem>
#include <new>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_view.h"
#include "platform/codepage.h"

namespace {

// The extension of a name with its dot, lower-cased; empty without one.
std::string LowerExtension(const std::string& fileName) {
    return AnsiLowerCase(std::filesystem::path(fileName).extension().string());
}

std::string FormatName(int32_t fileType) {
    if (const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType)) return info->FullName + " files";
    return "files of type " + std::to_string(fileType);
}

}  // namespace

TVidurErIO::TVidurErIO() {
    IEInitIOUnit();
    bitmap_ = new TIEBitmap();
    ownsBitmap_ = true;
}

TVidurErIO::~TVidurErIO() {
    UnbindView();
    FreeOwnBitmap();
}

// ---------------------------------------------------------------- binding

void TVidurErIO::FreeOwnBitmap() {
    if (ownsBitmap_) delete bitmap_;
    bitmap_ = nullptr;
    ownsBitmap_ = false;
}

void TVidurErIO::UnbindView() {
    if (view_ && viewListener_ >= 0) view_->RemoveBitmapChangeEvent(viewListener_);
    viewListener_ = -1;
}

void TVidurErIO::BindView(TIEView* view) {
    FreeOwnBitmap();
    view_ = view;
    legacyBitmap_ = view->GetBitmap();
    bitmap_ = view->GetIEBitmap();
    if (bitmap_) {
        legacyBitmap_ = nullptr;
    } else {
        // A view that keeps its image in a toolkit bitmap: wrap it in place.
        bitmap_ = new TIEBitmap();
        ownsBitmap_ = true;
        if (legacyBitmap_) bitmap_->EncapsulateTBitmap(legacyBitmap_, true);
    }
    viewListener_ = view->RegisterBitmapChangeEvent([this](bool destroying) { ViewBitmapChanged(destroying); });
}

void TVidurErIO::SetAttachedVidurEr(TIEView* view) {
    UnbindView();
    view_ = nullptr;
    legacyBitmap_ = nullptr;
    if (!view) {
        FreeOwnBitmap();
        bitmap_ = new TIEBitmap();
        ownsBitmap_ = true;
        return;
    }
    BindView(view);
}

void TVidurErIO::ViewBitmapChanged(bool destroying) {
    if (!view_) return;
    if (destroying) {
        // The view goes: its bitmap goes with it, so the component takes one
        // of its own again.
        viewListener_ = -1;
        view_ = nullptr;
        legacyBitmap_ = nullptr;
        FreeOwnBitmap();
        bitmap_ = new TIEBitmap();
        ownsBitmap_ = true;
        return;
    }
    legacyBitmap_ = view_->GetBitmap();
    if (ownsBitmap_) {
        if (legacyBitmap_) bitmap_->EncapsulateTBitmap(legacyBitmap_, true);
    } else {
        bitmap_ = view_->GetIEBitmap();
        if (bitmap_) legacyBitmap_ = nullptr;
    }
    // The parameters follow the view's resolution; nothing goes back to it.
    pushingDPI_ = true;
    ImageParams.SetDpiX(view_->DpiX());
    ImageParams.SetDpiY(view_->DpiY());
    pushingDPI_ = false;
}

void TVidurErIO::SetAttachedIEBitmap(TIEBitmap* bitmap) {
    // Without a bitmap the attached view stays, and so does its listener,
    // which tells the component when the view goes.
    if (!bitmap && view_) return;
    UnbindView();
    SetIEBitmap(bitmap);
}

void TVidurErIO::SetIEBitmap(TIEBitmap* bitmap) {
    legacyBitmap_ = nullptr;
    FreeOwnBitmap();
    ownsBitmap_ = false;
    bitmap_ = bitmap;
    if (bitmap) {
        UnbindView();
        view_ = nullptr;
    }
}

void TVidurErIO::PushDPIToView() {
    if (!view_ || pushingDPI_) return;
    pushingDPI_ = true;
    try {
        view_->SetDPI(ImageParams.DpiX, ImageParams.DpiY);
    } catch (...) {
        pushingDPI_ = false;
        throw;
    }
    pushingDPI_ = false;
}

TColor TVidurErIO::Background() const { return view_ ? view_->GetBackground() : background_; }

void TVidurErIO::SetBackground(TColor color) {
    if (!view_) background_ = color;
    else if (PassBackgroundToView) view_->SetBackground(color);
}

// ---------------------------------------------------------------- services

bool TVidurErIO::MakeConsistentBitmap(const TIEPixelFormatSet& allowed) {
    if (!bitmap_) return false;
    // The toolkit bitmap may have been changed from outside.
    if (legacyBitmap_) bitmap_->EncapsulateTBitmap(legacyBitmap_, true);
    return allowed.empty() || allowed.count(bitmap_->GetPixelFormat()) > 0;
}

void TVidurErIO::Update() {
    if (legacyBitmap_ && bitmap_) bitmap_->RemoveAlphaChannel(false, clWhite);
    if (view_) {
        view_->Update();
        view_->ImageChange();
    }
}

void TVidurErIO::DoProgress(void* sender, int percent) {
    if (!OnProgress) return;
    const bool before = AbortFlag;
    insideProgress_ = true;
    try {
        OnProgress(sender, percent);
    } catch (...) {
        insideProgress_ = false;
        throw;
    }
    insideProgress_ = false;
    if (!before && AbortFlag) cancelled_ = true;
}

void TVidurErIO::DoFinishWork() {
    DoProgress(this, 100);
    if (OnFinishWork) OnFinishWork(*this);
}

TIEProgressRec TVidurErIO::MakeProgress() {
    TIEProgressRec progress;
    progress.OnProgress = [this](void* sender, int percent) { DoProgress(sender, percent); };
    progress.Sender = this;
    progress.AbortFlag = &AbortFlag;
    return progress;
}

void TVidurErIO::Fail(const std::string& message, bool notify) {
    AbortFlag = true;
    lastError_ = message;
    if (notify) DoFinishWork();
}

// The registry marks what a format can never do; GIF waits for its LZW
// coders, which the registry follows, and is only not there yet.
void TVidurErIO::FailUnsupportedRead(int32_t fileType) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    if (info && info->InternalFormat && !info->ReadFunction && fileType != 2)
        Fail(FormatName(fileType) + " cannot be read", true);
    else Fail("Reading " + FormatName(fileType) + " is not supported yet", true);
}

void TVidurErIO::FailUnsupportedWrite(int32_t fileType, bool notify) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    if (!info || (!info->WriteFunction && fileType != 2)) Fail(FormatName(fileType) + " cannot be written", notify);
    else Fail("Writing " + FormatName(fileType) + " is not supported yet", notify);
}

// ---------------------------------------------------------------- load dispatch

namespace {

// A layered picture (file type 26) from a file or a stream: only a view
// holds layers, so without one nothing is loaded. The view reports the
// change itself; no progress, no flag and no finish notification here.
// The view reads each layer's image through this same component, which
// leaves that image's type in the parameters: the layers' type is set
// last, whether the load ends well or not.
// A layer's image that is itself a layers file is refused: nested, such
// files would recurse without end.
void LoadLayers(TIEView* attached, TIOParamsVals& params, const std::string* fileName, TStream* stream) {
    thread_local bool loading = false;
    if (loading) throw EReadError("Invalid layers file: a layer's image is itself a layers file");
    struct TypeAtEnd {
        TIOParamsVals& params;
        bool& loading;
        ~TypeAtEnd() {
            params.FileType = 26;
            loading = false;
        }
    } typeAtEnd{params, loading};
    loading = true;
    auto* view = dynamic_cast<TVidurErView*>(attached);
    if (!view) return;
    if (fileName) view->LayersLoadFromFile(*fileName);
    else view->LayersLoadFromStream(*stream);
}

}  // namespace

bool TVidurErIO::LoadFileByType(const std::string& fileName, int32_t fileType) {
    switch (fileType) {
        case 1: LoadFromFileTIFF(fileName); return true;
        case 2: LoadFromFileGIF(fileName); return true;
        case 3: LoadFromFileJPEG(fileName); return true;
        case 4: LoadFromFilePCX(fileName); return true;
        case 11: LoadFromFileTGA(fileName); return true;
        case 19: LoadFromFileDCX(fileName); return true;
        case 21: LoadFromFileRawPixels(fileName); return true;
        case 5: LoadFromFileBMP(fileName); return true;
        case 16: LoadFromFileWBMP(fileName); return true;
        case 8: LoadFromFilePNG(fileName); return true;
        case 24: LoadFromFilePSD(fileName); return true;
        case 26: LoadLayers(view_, ImageParams, &fileName, nullptr); return true;
        default: return false;
    }
}

bool TVidurErIO::LoadStreamByType(TStream& stream, int32_t fileType) {
    switch (fileType) {
        case 1: LoadFromStreamTIFF(stream); return true;
        case 2: LoadFromStreamGIF(stream); return true;
        case 3: LoadFromStreamJPEG(stream); return true;
        case 4: LoadFromStreamPCX(stream); return true;
        case 11: LoadFromStreamTGA(stream); return true;
        case 19: LoadFromStreamDCX(stream); return true;
        case 21: LoadFromStreamRawPixels(stream); return true;
        case 5: LoadFromStreamBMP(stream); return true;
        case 16: LoadFromStreamWBMP(stream); return true;
        case 8: LoadFromStreamPNG(stream); return true;
        case 24: LoadFromStreamPSD(stream); return true;
        case 26: LoadLayers(view_, ImageParams, nullptr, &stream); return true;
        default: return false;
    }
}

void TVidurErIO::LoadFromFile(const std::string& fileName) {
    if (!bitmap_) return;
    lastError_.clear();
    cancelled_ = false;
    if (fileName.empty()) {
        Fail("No file name was given", true);
        return;
    }
    if (IEGetUrlScheme(fileName) != 0) {
        Fail("Loading pictures from internet addresses is not supported yet", true);
        return;
    }
    const std::string extension = LowerExtension(fileName);
    const TIEFileFormatInfo* info = IEFileFormatFindByExt(extension);
    if (!info) {
        Fail(extension.empty() ? "The file name \"" + fileName + "\" has no extension that tells its format"
                               : "Unknown file extension \"" + extension + "\"",
             true);
        return;
    }
    if (!info->InternalFormat) {
        LoadAddedFormat(*info, &fileName, nullptr, true);
        return;
    }
    // The wrappers have sent their finish notification when an exception
    // leaves them; the application's entry turns it into the flag.
    try {
        if (!LoadFileByType(fileName, info->FileType)) FailUnsupportedRead(info->FileType);
    } catch (const std::bad_alloc&) {
        AbortFlag = true;
        lastError_ = "Not enough memory to load \"" + fileName + "\"";
    } catch (const std::exception& error) {
        AbortFlag = true;
        lastError_ = error.what();
    }
}

void TVidurErIO::LoadFromFileFormat(const std::string& fileName, int32_t fileType) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    if (!info || !bitmap_) return;
    lastError_.clear();
    cancelled_ = false;
    if (!info->InternalFormat) {
        LoadAddedFormat(*info, &fileName, nullptr, false);
        return;
    }
    if (LoadFileByType(fileName, fileType)) return;
    if (fileType == 17 || fileType == 18) LoadFromFile(fileName);
    else FailUnsupportedRead(fileType);
}

void TVidurErIO::LoadFromFileByContent(const std::string& fileName) {
    const int32_t fileType = IEFindFileFormat(fileName, false);
    if (fileType != 0) LoadFromFileFormat(fileName, fileType);
    else LoadFromFile(fileName);
}

void TVidurErIO::LoadFromStream(TStream& stream) {
    if (!bitmap_) return;
    const int64_t start = stream.GetPosition();
    const int32_t fileType = IEDetectFormatFromStream(stream);
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    // Content nothing recognises leaves everything as it was.
    if (!info) return;
    stream.SetPosition(start);
    lastError_.clear();
    cancelled_ = false;
    if (!info->InternalFormat) {
        LoadAddedFormat(*info, nullptr, &stream, false);
        return;
    }
    if (LoadStreamByType(stream, fileType)) return;
    // Metafiles, WBMP, PostScript and PDF have no stream reader here.
    if (fileType == 9 || fileType == 10 || fileType == 16 || fileType == 17 || fileType == 18) return;
    FailUnsupportedRead(fileType);
}

void TVidurErIO::LoadFromStreamFormat(TStream& stream, int32_t fileType) {
    if (fileType == 0) {
        LoadFromStream(stream);
        return;
    }
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    if (!info || !bitmap_) return;
    lastError_.clear();
    cancelled_ = false;
    if (!info->InternalFormat) {
        LoadAddedFormat(*info, nullptr, &stream, false);
        return;
    }
    if (!LoadStreamByType(stream, fileType)) FailUnsupportedRead(fileType);
}

// ---------------------------------------------------------------- save dispatch

namespace {

// The component's own extension list, tested in this order; it differs from
// the registry's (".win" for Targa, no ".xif" or ".pix").
const struct {
    const char* extensions;
    int32_t fileType;
} kSaveExtensions[] = {
    {".jpg.jpeg.jpe.jif.", 3},
    {".jp2.", 13},
    {".j2k.jpc.j2c.", 14},
    {".pcx.", 4},
    {".dcx.", 19},
    {".gif.", 2},
    {".tif.tiff.fax.g3f.g3n.", 1},
    {".png.", 8},
    {".bmp.dib.rle.", 5},
    {".tga.targa.vda.icb.vst.win.", 11},
    {".pxm.pbm.pgm.ppm.", 12},
    {".ico.", 6},
    {".wbmp.", 16},
    {".ps.eps.", 17},
    {".pdf.", 18},
    {".psd.", 24},
};

int32_t SaveTypeOfExtension(const std::string& extension) {
    if (extension.size() < 2) return 0;
    const std::string key = extension + ".";
    for (const auto& row : kSaveExtensions)
        if (std::string(row.extensions).find(key) != std::string::npos) return row.fileType;
    return 0;
}

}  // namespace

void TVidurErIO::SaveToFile(const std::string& fileName) {
    if (fileName.empty() || !bitmap_) return;
    lastError_.clear();
    cancelled_ = false;
    const std::string extension = LowerExtension(fileName);
    switch (SaveTypeOfExtension(extension)) {
        case 1: SaveToFileTIFF(fileName); return;
        case 2: SaveToFileGIF(fileName); return;
        case 3: SaveToFileJPEG(fileName); return;
        case 4: SaveToFilePCX(fileName); return;
        case 11: SaveToFileTGA(fileName); return;
        case 19: SaveToFileDCX(fileName); return;
        case 5: SaveToFileBMP(fileName); return;
        case 16: SaveToFileWBMP(fileName); return;
        case 8: SaveToFilePNG(fileName); return;
        case 6: SaveToFileICO(fileName); return;
        case 17: SaveToFilePS(fileName); return;
        case 18: SaveToFilePDF(fileName); return;
        case 24: SaveToFilePSD(fileName); return;
        case 0: break;
        default: FailUnsupportedWrite(SaveTypeOfExtension(extension), false); return;
    }
    const TIEFileFormatInfo* info = IEFileFormatFindByExt(extension);
    // A built-in record reached here (".xif", ".pix", the object formats)
    // has no writer behind its placeholder: fail rather than leave an
    // empty file that looks like a saved picture.
    if (info && !info->InternalFormat && info->WriteFunction) SaveAddedFormat(*info, &fileName, nullptr);
    else if (info) FailUnsupportedWrite(info->FileType, false);
    else Fail(extension.empty() ? "The file name \"" + fileName + "\" has no extension that tells its format"
                                : "No format writes files with the extension \"" + extension + "\"",
              false);
}

bool TVidurErIO::SaveStreamByType(TStream& stream, int32_t fileType) {
    switch (fileType) {
        case 1: SaveToStreamTIFF(stream); return true;
        case 2: SaveToStreamGIF(stream); return true;
        case 3: SaveToStreamJPEG(stream); return true;
        case 4: SaveToStreamPCX(stream); return true;
        case 11: SaveToStreamTGA(stream); return true;
        case 19: SaveToStreamDCX(stream); return true;
        case 5: SaveToStreamBMP(stream); return true;
        case 16: SaveToStreamWBMP(stream); return true;
        case 8: SaveToStreamPNG(stream); return true;
        case 6: SaveToStreamICO(stream); return true;
        case 17: SaveToStreamPS(stream); return true;
        case 18: SaveToStreamPDF(stream); return true;
        case 24: SaveToStreamPSD(stream); return true;
        default: return false;
    }
}

void TVidurErIO::SaveToStream(TStream& stream, int32_t fileType) {
    if (!bitmap_) return;
    lastError_.clear();
    cancelled_ = false;
    if (SaveStreamByType(stream, fileType)) return;
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    if (info && !info->InternalFormat && info->WriteFunction) SaveAddedFormat(*info, nullptr, &stream);
    else FailUnsupportedWrite(fileType, false);
}

// ---------------------------------------------------------------- formats added to the registry

void TVidurErIO::LoadAddedFormat(const TIEFileFormatInfo& info, const std::string* fileName, TStream* stream,
                                 bool catchAll) {
    ImageParams.FileName.clear();
    ImageParams.FileType = 0;
    ImageParams.ResetInfo();
    if (!info.ReadFunction) {
        Fail("Reading " + FormatName(info.FileType) + " is not supported", true);
        return;
    }
    AbortFlag = fileName != nullptr;
    if (!MakeConsistentBitmap({})) {
        if (!catchAll) DoFinishWork();
        return;
    }
    bool finished = false;
    try {
        std::unique_ptr<TFileStream> file;
        if (fileName) {
            file = std::make_unique<TFileStream>(*fileName, TFileMode::OpenRead);
            stream = file.get();
            AbortFlag = false;
        }
        TIEProgressRec progress = MakeProgress();
        if (fileName) ImageParams.FileName = Utf8ToWide(*fileName);
        ImageParams.FileType = info.FileType;
        try {
            info.ReadFunction(*stream, *bitmap_, ImageParams, progress, false);
        } catch (...) {
            if (!catchAll) throw;
            AbortFlag = true;
            lastError_ = "The " + info.FullName + " reader failed";
        }
        if (!catchAll || !AbortFlag) {
            if (AutoAdjustDPI) AdjustDPI();
            PushDPIToView();
        }
        Update();
        file.reset();
        finished = true;
        DoFinishWork();
    } catch (const std::exception& error) {
        if (!catchAll) {
            if (!finished) DoFinishWork();
            throw;
        }
        AbortFlag = true;
        lastError_ = error.what();
        if (!finished) DoFinishWork();
    }
    if (AbortFlag && lastError_.empty())
        lastError_ = cancelled_ ? "Cancelled" : "The " + info.FullName + " data is damaged or incomplete";
}

void TVidurErIO::SaveAddedFormat(const TIEFileFormatInfo& info, const std::string* fileName, TStream* stream) {
    AbortFlag = fileName != nullptr;
    if (!MakeConsistentBitmap({})) return;
    const TIEPixelFormat format = bitmap_->GetPixelFormat();
    if (format != ie24RGB && format != ie1g) bitmap_->ConvertToPixelFormat(ie24RGB);
    try {
        TMemoryStream encoded;
        TStream& target = fileName ? static_cast<TStream&>(encoded) : *stream;
        AbortFlag = false;
        TIEProgressRec progress = MakeProgress();
        if (fileName) ImageParams.FileName = Utf8ToWide(*fileName);
        ImageParams.FileType = info.FileType;
        info.WriteFunction(target, *bitmap_, ImageParams, progress);
        if (fileName && !AbortFlag) WriteFileBytes(*fileName, encoded.Memory(), encoded.Bytes().size());
    } catch (...) {
        AbortFlag = true;
        DoFinishWork();
        throw;
    }
    if (AbortFlag && lastError_.empty())
        lastError_ = cancelled_ ? "Cancelled" : "The " + info.FullName + " writer failed";
    DoFinishWork();
}
