// The compile context: the ActionScript compiler as the movie builder sees
// it. A movie creates its context on first request through the factory that
// the compiler registers; without a compiler, asking for one raises a clear
// error, which the compile operations report like any failed compilation.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/errors.h"
#include "platform/stream.h"

class TFlashMovie;
class TFlashActionScript;
class TFlashButton;
class TFlashPlaceObject;

class EActionCompileError : public Exception {
public:
    using Exception::Exception;
};

class TBaseCompileContext {
public:
    explicit TBaseCompileContext(TFlashMovie& movie) : Movie(movie) {}
    virtual ~TBaseCompileContext() = default;
    TBaseCompileContext(const TBaseCompileContext&) = delete;
    TBaseCompileContext& operator=(const TBaseCompileContext&) = delete;

    TFlashMovie& Movie;

    virtual void AddClassPath(const std::string& path) = 0;
    virtual void AddIncludePath(const std::string& path) = 0;
    virtual void CompileActions(TStream& source, TFlashActionScript& builder) = 0;
    virtual void CompileButtonActions(TStream& source, TFlashButton& button) = 0;
    virtual void CompileClipActions(TStream& source, TFlashPlaceObject& placement) = 0;

    // The movie's message stream, where the compiler writes its diagnostics.
    TMemoryStream& GetMessageStream();
};

using TCompileContextFactory = std::function<std::unique_ptr<TBaseCompileContext>(TFlashMovie& movie)>;

// The compiler registers how to create its context; an empty factory
// unregisters it. Returns the factory registered before.
TCompileContextFactory RegisterCompileContextFactory(TCompileContextFactory factory);
bool HasCompiler();
std::unique_ptr<TBaseCompileContext> CreateCompileContext(TFlashMovie& movie);
