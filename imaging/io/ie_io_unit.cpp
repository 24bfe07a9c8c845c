// Start-up and shutdown of the input/output unit: the globals the component
// and the codecs share.
#include <cstdlib>
#include <mutex>

#include "imaging/io/ie_gif_lzw.h"
#include "imaging/io/ie_tiff_lzw.h"
#include "imaging/io/ie_vidurer_io.h"

bool IEBufferedStreamsRelative = false;
bool IECMYKProfileEnabled = true;
std::unique_ptr<TIEICC> IECMYKProfile;
int32_t IEMetafileMaxSize = 8000;
std::string IETWainLogFile;

namespace {

std::once_flag unitStarted;

void RegisterViewIOMaker() {
    IESetViewIOMaker([](TVidurErView& view) -> std::unique_ptr<TIEViewIO> {
        auto io = std::make_unique<TVidurErIO>();
        io->SetAttachedVidurEr(&view);
        return io;
    });
}

// A view that makes its component before any component exists finds the
// maker already there.
const bool viewIOMakerRegistered = (RegisterViewIOMaker(), true);

void StartUnit() {
    // The LZW coders install their hooks when they are built in; without
    // them GIF stays unavailable in the registry.
    IETempFolder.clear();
    IEInstallTIFFLZWHooks();
    IEInstallGIFLZWHooks();
    IEInitFileFormats();
    IEUpdateGIFRegistration();
    IETWainLogFile.clear();
    IEColorManagementEnabled = false;
    DefaultQuantizerMethod = -1;
    DefaultQuantizerQuality = -1;
    IEBufferedStreamsRelative = false;
    IECMYKProfileEnabled = true;
    IECMYKProfile.reset();
    IEMetafileMaxSize = 8000;
    RegisterViewIOMaker();
    std::atexit(IEFreeIOUnit);
}

}  // namespace

void IEInitIOUnit() { std::call_once(unitStarted, StartUnit); }

void IEFreeIOUnit() {
    IECMYKProfile.reset();
    IEFreeFileFormats();
    IEDebugLogFileName.clear();
    IETWainLogFile.clear();
    IETempFolder.clear();
}
