// TVidurErIO, the image library's input/output component: it loads and
// saves the bitmap it works on (its own, an external TIEBitmap, or the
// current bitmap of an attached view) by file name and extension, by
// content, by file type id, from and to streams and memory buffers, and
// keeps the parameters of the current image. It stands on the format
// registry (ie_file_formats.h) and the codecs of this folder.
//
// Results travel through AbortFlag, not exceptions: every load and save
// sets it at its start, the codecs set it on bad data, and every load ends
// with one finish notification (progress 100, then OnFinishWork). LastError
// says in words why the last operation failed. LoadFromFile, the
// application's entry, never lets an exception out; the other operations
// pass file and codec exceptions on after their finish notification.
//
// Formats whose codecs are not built yet fail with "... is not supported
// yet" through AbortFlag. The component works synchronously.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_types.h"
#include "imaging/core/ie_view_services.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_io_params.h"
#include "platform/stream.h"

// Settings of a print preview, kept for the printing code.
struct TIOPrintPreviewParams {
    double MarginLeft = 1.0, MarginTop = 1.0, MarginRight = 1.0, MarginBottom = 1.0;
    int32_t Position = 4;
    int32_t Size = 1;
    double Width = -1.0, Height = -1.0;
    double Gamma = 1.0;
};

// The component is also the input/output object a TVidurErView makes for
// itself (TIEViewIO): the unit registers the maker, which attaches the new
// component to the view.
class TVidurErIO : public TIEViewIO {
    // Declared first: ImageParams reaches the view while it is built.
    TIEBitmap* bitmap_ = nullptr;
    bool ownsBitmap_ = true;
    TBitmap* legacyBitmap_ = nullptr;
    TIEView* view_ = nullptr;
    int32_t viewListener_ = -1;
    TColor background_ = 0;
    std::string lastError_;
    // Set while the user's progress handler runs, to tell a cancel from a
    // codec's failure.
    bool insideProgress_ = false;
    bool cancelled_ = false;
    bool pushingDPI_ = false;

public:
    using TNotifyEvent = std::function<void(TVidurErIO& sender)>;

    TVidurErIO();
    ~TVidurErIO() override;
    TVidurErIO(const TVidurErIO&) = delete;
    TVidurErIO& operator=(const TVidurErIO&) = delete;

    // ------------------------------------------------------------ binding
    // The bitmap worked on: the component's own, an external one, or the
    // attached view's; nullptr after SetAttachedIEBitmap(nullptr), when
    // every operation does nothing.
    TIEBitmap* Bitmap() const { return bitmap_; }
    bool OwnsBitmap() const { return ownsBitmap_; }
    // The view's toolkit bitmap when the view keeps its image there.
    TBitmap* LegacyBitmap() const { return legacyBitmap_; }
    TIEView* AttachedVidurEr() const { return view_; }
    // nullptr detaches and gives the component a fresh bitmap of its own.
    void SetAttachedVidurEr(TIEView* view);
    // Works on an external bitmap (not owned); nullptr while a view is
    // attached changes nothing.
    void SetAttachedIEBitmap(TIEBitmap* bitmap);
    // Exchanges the worked-on bitmap as it stands.
    void SetIEBitmap(TIEBitmap* bitmap);

    // ------------------------------------------------------------ settings
    TIOParamsVals ImageParams{this};
    // Failure or cancel flag of the last operation; a progress handler may
    // set it to stop the operation at the codec's next check.
    bool AbortFlag = false;
    // Why the last operation set AbortFlag; empty when it did not fail.
    const std::string& LastError() const { return lastError_; }
    // Write and expect the 12-byte header in front of an image in a stream.
    bool StreamHeaders = false;
    // After loading, resample so that the horizontal and vertical DPI agree.
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    // With a view attached, Background writes reach the view.
    bool PassBackgroundToView = false;
    uint8_t PaletteDitherMethod = 1;
    TIOPrintPreviewParams PrintPreviewParams;
    bool NativePixelFormat() const { return ImageParams.NativePixelFormat; }
    bool GetNativePixelFormat() override { return ImageParams.NativePixelFormat; }
    void SetNativePixelFormat(bool value) override { ImageParams.NativePixelFormat = value; }
    void SetParamsSize(int32_t width, int32_t height) override {
        ImageParams.Width = width;
        ImageParams.Height = height;
    }
    // The attached view's background, else the component's own.
    TColor Background() const;
    void SetBackground(TColor color);

    // ------------------------------------------------------------ events
    TIEProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;
    void SetOnProgress(TIEProgressEvent event) override { OnProgress = std::move(event); }
    void SetOnFinishWork(std::function<void()> event) override {
        if (event) OnFinishWork = [event = std::move(event)](TVidurErIO&) { event(); };
        else OnFinishWork = nullptr;
    }
    virtual void DoProgress(void* sender, int percent);
    // Progress 100, then OnFinishWork.
    virtual void DoFinishWork();

    // ------------------------------------------------------------ dispatchers
    // By extension, case-insensitive; the application's entry.
    virtual void LoadFromFile(const std::string& fileName);
    // By content, falling back to the extension.
    virtual void LoadFromFileByContent(const std::string& fileName);
    virtual void LoadFromFileFormat(const std::string& fileName, int32_t fileType);
    // By detected content; content nothing recognises changes nothing.
    virtual void LoadFromStream(TStream& stream);
    void LoadFromStreamFormat(TStream& stream, int32_t fileType) override;
    // Type 0 detects the content.
    virtual void LoadFromBuffer(const void* address, int64_t size, int32_t fileType);
    // By extension; an extension without a writer sets AbortFlag and sends
    // no notification.
    virtual void SaveToFile(const std::string& fileName);
    virtual void SaveToStream(TStream& stream, int32_t fileType);
    // The image encoded as fileType, written as text: style 0 a constant
    // byte array in source form, 1 a hexadecimal list, 2 Base64, 3 a
    // character picture of an ie24RGB image.
    virtual void SaveToPascalSource(const std::string& fileName, int32_t fileType, uint8_t style);

    // ------------------------------------------------------------ format wrappers
    void LoadFromFileBMP(const std::string& fileName);
    void LoadFromStreamBMP(TStream& stream);
    void SaveToFileBMP(const std::string& fileName);
    void SaveToStreamBMP(TStream& stream);
    void LoadFromFileGIF(const std::string& fileName);
    void LoadFromStreamGIF(TStream& stream);
    void SaveToFileGIF(const std::string& fileName);
    void SaveToStreamGIF(TStream& stream);
    void LoadFromFileWBMP(const std::string& fileName);
    void LoadFromStreamWBMP(TStream& stream);
    void SaveToFileWBMP(const std::string& fileName);
    void SaveToStreamWBMP(TStream& stream);
    void LoadFromFileJPEG(const std::string& fileName);
    // Takes a "JFIF" stream header whatever StreamHeaders says.
    void LoadFromStreamJPEG(TStream& stream);
    void SaveToFileJPEG(const std::string& fileName);
    void SaveToStreamJPEG(TStream& stream);
    void LoadFromFilePNG(const std::string& fileName);
    void LoadFromStreamPNG(TStream& stream);
    void SaveToFilePNG(const std::string& fileName);
    void SaveToStreamPNG(TStream& stream);
    // TIFF: the page ImageParams.TiffImageIndex; ImageParams.ImageCount
    // receives the file's page count.
    void LoadFromFileTIFF(const std::string& fileName);
    void LoadFromStreamTIFF(TStream& stream);
    void SaveToFileTIFF(const std::string& fileName);
    void SaveToStreamTIFF(TStream& stream);
    // Photoshop documents. With ImageParams.PsdLoadLayers and a view
    // attached, the document's layers become the view's layers (replacing
    // them with PsdReplaceLayers, else added above them); otherwise the
    // merged image is loaded. A view's layers are saved with the flattened
    // picture as the merged image.
    void LoadFromFilePSD(const std::string& fileName);
    void LoadFromStreamPSD(TStream& stream);
    void SaveToFilePSD(const std::string& fileName);
    void SaveToStreamPSD(TStream& stream);
    // PostScript and PDF documents of the one image (ImageParams.Ps*, Pdf*).
    void SaveToFilePS(const std::string& fileName);
    void SaveToStreamPS(TStream& stream);
    void SaveToFilePDF(const std::string& fileName);
    void SaveToStreamPDF(TStream& stream);
    // An icon of the sizes and depths of ImageParams.IcoSizes and
    // IcoBitCount (the leading entries with a positive width).
    void SaveToFileICO(const std::string& fileName);
    void SaveToStreamICO(TStream& stream);
    // Links the image into a TIFF file this library wrote as page
    // ImageParams.TiffImageIndex (appended when past the last page); a
    // missing file is created with the image as its only page.
    void InsertToFileTIFF(const std::string& fileName);
    // PCX: the stream forms read and write behind a "PCX2" stream header
    // when StreamHeaders is set (an older "PCX" header also reads).
    void LoadFromFilePCX(const std::string& fileName);
    void LoadFromStreamPCX(TStream& stream);
    void SaveToFilePCX(const std::string& fileName);
    void SaveToStreamPCX(TStream& stream);
    // DCX: page ImageParams.DcxImageIndex; ImageParams.ImageCount receives
    // the pages. Saving makes a container of the one image (a stream's old
    // content goes); InsertToFileDCX adds the image to a file's container
    // as page DcxImageIndex (appended when past the last page).
    void LoadFromFileDCX(const std::string& fileName);
    void LoadFromStreamDCX(TStream& stream);
    void SaveToFileDCX(const std::string& fileName);
    void SaveToStreamDCX(TStream& stream);
    void InsertToFileDCX(const std::string& fileName);
    // Targa: alpha comes and goes through the bitmap's alpha channel.
    void LoadFromFileTGA(const std::string& fileName);
    void LoadFromStreamTGA(TStream& stream);
    void SaveToFileTGA(const std::string& fileName);
    void SaveToStreamTGA(TStream& stream);
    // Headerless pixels into the bitmap as it is allocated (its size and
    // pixel format), laid out as the RawPixels parameters say; no DPI. An
    // empty file name does nothing.
    void LoadFromFileRawPixels(const std::string& fileName);
    void LoadFromStreamRawPixels(TStream& stream);

    // ------------------------------------------------------------ services
    // Refreshes whatever shows the bitmap after a load.
    void Update();
    // False without a bitmap; with a non-empty set, true only when the
    // bitmap's pixel format is in it.
    bool MakeConsistentBitmap(const TIEPixelFormatSet& allowed);
    // Resamples the bitmap so that one pixel covers the same distance in
    // both directions; the alpha channel follows.
    void AdjustDPI();

private:
    struct TLoadSteps;
    struct TSaveSteps;
    void BindView(TIEView* view);
    void UnbindView();
    void ViewBitmapChanged(bool destroying);
    void FreeOwnBitmap();
    void PushDPIToView();
    friend class TIOParamsVals;  // pushes DPI changes to the view

    // The load and save skeletons every wrapper shares.
    void RunLoad(const TLoadSteps& steps);
    void RunSave(const TSaveSteps& steps);
    TIEProgressRec MakeProgress();
    // Sets AbortFlag and LastError; a load also sends its finish notification.
    void Fail(const std::string& message, bool notify);
    void FailUnsupportedRead(int32_t fileType);
    void FailUnsupportedWrite(int32_t fileType, bool notify);
    // Serves a built-in file type by its wrapper; false when none exists.
    bool LoadFileByType(const std::string& fileName, int32_t fileType);
    bool LoadStreamByType(TStream& stream, int32_t fileType);
    bool SaveStreamByType(TStream& stream, int32_t fileType);
    void LoadAddedFormat(const TIEFileFormatInfo& info, const std::string* fileName, TStream* stream, bool catchAll);
    void SaveAddedFormat(const TIEFileFormatInfo& info, const std::string* fileName, TStream* stream);
    // One per format and direction; a file name, or else a stream.
    void LoadBMP(const std::string* fileName, TStream* stream);
    void SaveBMP(const std::string* fileName, TStream* stream);
    void LoadGIF(const std::string* fileName, TStream* stream);
    void SaveGIF(const std::string* fileName, TStream* stream);
    void LoadWBMP(const std::string* fileName, TStream* stream);
    void SaveWBMP(const std::string* fileName, TStream* stream);
    void LoadJPEG(const std::string* fileName, TStream* stream);
    void SaveJPEG(const std::string* fileName, TStream* stream);
    void PrepareJPEGMarkers();
    void LoadPNG(const std::string* fileName, TStream* stream);
    void SavePNG(const std::string* fileName, TStream* stream);
    void LoadTIFF(const std::string* fileName, TStream* stream);
    void SaveTIFF(const std::string* fileName, TStream* stream);
    void LoadPCX(const std::string* fileName, TStream* stream);
    void SavePCX(const std::string* fileName, TStream* stream);
    void LoadDCX(const std::string* fileName, TStream* stream);
    void SaveDCX(const std::string* fileName, TStream* stream, bool insert);
    void LoadTGA(const std::string* fileName, TStream* stream);
    void SaveTGA(const std::string* fileName, TStream* stream);
    void LoadRawPixels(const std::string* fileName, TStream* stream);
    void LoadPSD(const std::string* fileName, TStream* stream);
    void SavePSD(const std::string* fileName, TStream* stream);
    void SaveDocument(int32_t fileType, const std::string* fileName, TStream* stream);
};

// Resamples a copy of the bitmap so that its horizontal and vertical DPI
// agree and fixes the parameters to match; nullptr when nothing is to be
// done (the bitmap stays as it is).
std::unique_ptr<TIEBitmap> IEEqualizeDPI(TIEBitmap& bitmap, TIOParamsVals& params, bool filtered);

// The identifier SaveToPascalSource declares for a file: its own name (no
// folder) with every character an identifier cannot hold made "_".
std::string SourceIdentifier(const std::string& fileName);

// ---------------------------------------------------------------- the input/output unit

// Settings the component and the codecs share; IEInitIOUnit sets them.
extern bool IEBufferedStreamsRelative;
extern bool IECMYKProfileEnabled;
extern std::unique_ptr<TIEICC> IECMYKProfile;
// The larger side of a rasterised metafile, in pixels.
extern int32_t IEMetafileMaxSize;
// Trace file of the TWAIN state release; empty means no trace.
extern std::string IETWainLogFile;

// Start-up: the codec hooks, the format registry and the settings above.
// Every component runs it once per process before its first use; the
// shutdown runs at exit.
void IEInitIOUnit();
void IEFreeIOUnit();
