// The SWF file reader: reads a plain or zlib-compressed SWF file into the
// header fields and a body, splits the body into tag descriptors and, on
// request, turns every tag into its object. A tag whose body cannot be read
// is kept as a raw tag carrying the failure's message, so nothing of the
// file is lost and writing it again reproduces its bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "swf/swf_stream.h"
#include "swf/tag.h"

class TSWFTagInfo {
public:
    explicit TSWFTagInfo(uint16_t tagCode);
    ~TSWFTagInfo();
    TSWFTagInfo(const TSWFTagInfo&) = delete;
    TSWFTagInfo& operator=(const TSWFTagInfo&) = delete;

    int32_t BodySize = 0;
    uint16_t Frame = 0;
    bool LongHeader = false;
    // Set when the file framed the tag otherwise than its code and length
    // would (a long header over a short body): the tag is written back so.
    bool KeepFraming = false;
    int32_t Offset = 0;
    // Descriptors of a sprite's tags (code 39 only); they borrow the objects.
    std::vector<std::unique_ptr<TSWFTagInfo>> Children;
    // The tag object, owned (see OwnsObject) or borrowed from a sprite.
    TSWFObject* Object = nullptr;
    uint16_t TagCode = 0;

    bool OwnsObject() const { return owned_ != nullptr; }
    int32_t GetFullSize() const { return BodySize + 2 + (LongHeader ? 4 : 0); }
    // Takes ownership of obj (replacing and freeing an owned object).
    void SetObject(std::unique_ptr<TSWFObject> obj);
    void SetBorrowedObject(TSWFObject* obj);
    // Hands the owned object over to the caller (null when borrowed).
    std::unique_ptr<TSWFObject> ReleaseObject();
    // Adds one descriptor per tag object of a sprite object.
    void AddChildrenOf(TSWFObject& sprite);

private:
    std::unique_ptr<TSWFObject> owned_;
};

// What a tag's reader needs to know that the format keeps outside the tag.
// The top level and every sprite keep one each.
struct TTagReadContext {
    bool ParseActions = false;
    uint8_t SWFVersion = 0;
    // The stream compression of the last stream head, for the blocks after it.
    uint8_t StreamSoundFormat = 0;
};

// The one way a tag of a file or of a sprite is read: obj, created for code,
// gets its context and reads the size bytes that start at start in body.
// When that raises, obj is replaced by a raw tag that carries the message
// and the bytes, and the result is false. The caller moves the position to
// the end of the body afterwards, whatever the tag's reader consumed.
bool ReadTagObject(std::unique_ptr<TSWFObject>& obj, uint16_t code, TStream& body, int64_t start, int32_t size,
                   TTagReadContext& context);

using TBeforeParseTagEvent = std::function<void(TSWFTagInfo& info, bool& parse)>;
using TBeforeRenumberEvent = std::function<void(TSWFObject& tag, bool& renumber)>;

class TSWFStreamReader : public TBasedSWFStream {
public:
    TSWFStreamReader();
    // Loads the file when the name is not empty.
    explicit TSWFStreamReader(const std::string& fileName);
    static std::unique_ptr<TSWFStreamReader> CreateFromStream(TStream& stream);

    bool Valid = false;
    TBeforeParseTagEvent OnBeforeParseTag;
    TBeforeRenumberEvent OnBeforeRenumber;
    std::vector<std::unique_ptr<TSWFTagInfo>> Tags;

    // The bytes the loaded file held, its header included (for a compressed
    // file, as inflated).
    int64_t LoadedFileBytes = 0;

    bool CheckSignature(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& stream);
    void ParseTags(bool parseObjects, bool parseActions);
    TSWFTagInfo& GetTagInfo(size_t index) { return *Tags.at(index); }
    size_t TagCount() const { return Tags.size(); }

    int32_t GetFrameTagIndex(uint16_t frame) override;
    // Gives every character the parsed movie defines a new identifier from
    // firstId on, in definition order, and rewrites every reference to a
    // renumbered one (a reference to an identifier defined twice follows the
    // first definition). Returns the next free identifier. ERangeError when
    // the new identifiers would go past 65535.
    uint32_t RenumberCharacterIds(uint16_t firstId);
    // Moves the bitmap, JPEG-table, font and sound definitions of frames
    // firstFrame..lastFrame (-1: the last) to the start of targetFrame.
    virtual void MoveResourcesToFrame(int32_t targetFrame, int32_t firstFrame, int32_t lastFrame);
    int32_t FindCharacterTag(uint16_t characterId);
    TSWFObject* GetCharacterObject(uint16_t characterId);
    TSWFObject* FindObjectByName(const std::string& name);
    void MakeStream() override;
    bool LoadFromXml(const TXmlNode& node, bool readHeader) override;
    // The mirror of LoadFromXml: an "SWF" element with the header attributes
    // and one child element per tag.
    void SaveToXml(TXmlNode node);

    // What the loaded file's own lengths say is wrong with it, first found
    // first; empty for a sound file. Reading is forgiving (a tag or an action
    // that does not fit is kept as bytes), players are not, so a caller that
    // hands the movie on checks it here: the file length of the header
    // against the bytes present, every tag's length against the bytes left
    // (in sprites against the sprite), the End tag of the file and of every
    // sprite, and in every DoAction and DoInitAction script each action
    // record's length against the script and against the fields it holds,
    // and the script's closing ActionEnd. Works on the body as loaded;
    // ParseTags is not needed.
    std::vector<std::string> FindDamage();
};
