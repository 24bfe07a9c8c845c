// A movie saved and read back by the file reader: every tag must parse, none
// may come back as a raw tag that the reader could not read.
#pragma once

#include <gtest/gtest.h>

#include "swf/reader.h"

inline void ExpectWritesWhole(TBasedSWFStream& movie) {
    TMemoryStream out;
    movie.SaveToStream(out);
    TMemoryStream in(out.Bytes());
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, true);
    for (const auto& info : reader->Tags) EXPECT_NE(info->TagCode, kErrorTagCode);
}
