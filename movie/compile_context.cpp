#include "movie/compile_context.h"

#include "movie/flash_movie.h"

namespace {
TCompileContextFactory& Factory() {
    static TCompileContextFactory factory;
    return factory;
}
}  // namespace

TMemoryStream& TBaseCompileContext::GetMessageStream() { return Movie.GetMessageStream(); }

TCompileContextFactory RegisterCompileContextFactory(TCompileContextFactory factory) {
    TCompileContextFactory previous = std::move(Factory());
    Factory() = std::move(factory);
    return previous;
}

bool HasCompiler() { return static_cast<bool>(Factory()); }

std::unique_ptr<TBaseCompileContext> CreateCompileContext(TFlashMovie& movie) {
    if (!Factory())
        throw EActionCompileError("ActionScript source cannot be compiled: no ActionScript compiler is available.");
    return Factory()(movie);
}
