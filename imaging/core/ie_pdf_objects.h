// A small object model for writing PDF 1.4 files that hold images: the
// object classes, each writing its own PDF text, and the routines that
// number the objects of a document, build the catalog, page tree and page
// dictionaries and write the header, the indirect objects and the
// cross-reference table with the trailer. Nothing here reads PDF.
//
// Ownership: an array or a dictionary owns the items it holds directly;
// an indirect object (one that belongs to a document's object list) is
// owned by that list, and containers only refer to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/stream.h"

class TIEPDFObject {
public:
    TIEPDFObject() = default;
    virtual ~TIEPDFObject() = default;
    TIEPDFObject(const TIEPDFObject&) = delete;
    TIEPDFObject& operator=(const TIEPDFObject&) = delete;

    // Writes the object's text form; records the stream position in Offset first.
    virtual void Write(TStream& stream) = 0;

    int32_t Number = 0;   // 0 until numbered
    int64_t Offset = 0;   // position of the last writing (of the "n 0 obj" line when indirect)
    bool Indirect = false;
};

class TIEPDFRefObject : public TIEPDFObject {
public:
    TIEPDFRefObject(int32_t objectNumber, int32_t generation) : ObjectNumber(objectNumber), Generation(generation) {}
    void Write(TStream& stream) override;
    int32_t ObjectNumber;
    int32_t Generation;
};

class TIEPDFNumericObject : public TIEPDFObject {
public:
    explicit TIEPDFNumericObject(double value) : Value(value) {}
    void Write(TStream& stream) override;
    double Value;
};

class TIEPDFBooleanObject : public TIEPDFObject {
public:
    explicit TIEPDFBooleanObject(bool value) : Value(value) {}
    void Write(TStream& stream) override;
    bool Value;
};

// A literal string of 8-bit text.
class TIEPDFStringObject : public TIEPDFObject {
public:
    explicit TIEPDFStringObject(std::string text) : Text(std::move(text)) {}
    void Write(TStream& stream) override;
    std::string Text;
};

// A name, given without its slash.
class TIEPDFNameObject : public TIEPDFObject {
public:
    explicit TIEPDFNameObject(std::string name) : Name(std::move(name)) {}
    void Write(TStream& stream) override;
    std::string Name;
};

class TIEPDFArrayObject : public TIEPDFObject {
public:
    TIEPDFArrayObject() = default;
    ~TIEPDFArrayObject() override;
    void Write(TStream& stream) override;
    // Takes ownership unless the object is indirect; returns it.
    TIEPDFObject* Add(TIEPDFObject* item);
    template <typename T>
    T* Add(std::unique_ptr<T> item) {
        return static_cast<T*>(Add(static_cast<TIEPDFObject*>(item.release())));
    }
    const std::vector<TIEPDFObject*>& Items() const { return items_; }

private:
    std::vector<TIEPDFObject*> items_;
};

class TIEPDFDictionaryObject : public TIEPDFObject {
public:
    TIEPDFDictionaryObject() = default;
    ~TIEPDFDictionaryObject() override;
    void Write(TStream& stream) override;
    // Appends the entry (a key may be added twice; Find gets the first).
    // Takes ownership unless the object is indirect; returns it.
    TIEPDFObject* AddObject(const std::string& key, TIEPDFObject* value);
    template <typename T>
    T* AddObject(const std::string& key, std::unique_ptr<T> value) {
        return static_cast<T*>(AddObject(key, static_cast<TIEPDFObject*>(value.release())));
    }
    // Puts the entry at position index of the insertion order.
    TIEPDFObject* InsertObject(size_t index, const std::string& key, TIEPDFObject* value);
    TIEPDFObject* Find(const std::string& key) const;
    // Replaces the value of the first entry with the key, or appends one.
    void SetObject(const std::string& key, TIEPDFObject* value);
    const std::vector<std::pair<std::string, TIEPDFObject*>>& Entries() const { return entries_; }

private:
    void Release(TIEPDFObject* value);
    std::vector<std::pair<std::string, TIEPDFObject*>> entries_;
};

class TIEPDFStreamObject : public TIEPDFObject {
public:
    TIEPDFStreamObject();
    TIEPDFStreamObject(const void* data, size_t length);  // CreateFromData: a copy of the data
    void Write(TStream& stream) override;
    std::vector<uint8_t> Data;
    TIEPDFDictionaryObject Dictionary;
};

// A document's indirect objects: position i holds the object numbered i + 1.
using TIEPDFObjectList = std::vector<std::unique_ptr<TIEPDFObject>>;

void IEPDFWriteHeader(TStream& stream);
// Appends the object (which becomes indirect) and numbers it; returns it.
TIEPDFObject* IEPDFAddObject(TIEPDFObjectList& objects, std::unique_ptr<TIEPDFObject> object);
template <typename T>
T* IEPDFAdd(TIEPDFObjectList& objects, std::unique_ptr<T> object) {
    return static_cast<T*>(IEPDFAddObject(objects, std::move(object)));
}
// {Type: /Catalog}, added to the list; a document makes it first (object 1).
TIEPDFDictionaryObject* IEPDFCreateCatalog(TIEPDFObjectList& objects);
// The page tree root, added to the list; each page gets its Parent and the
// catalog (the list's first object) its Pages entry.
TIEPDFDictionaryObject* IEPDFCreatePages(TIEPDFObjectList& objects,
                                          const std::vector<TIEPDFDictionaryObject*>& pages);
// A page dictionary added to the object list and to the page list.
// resources may be nullptr; mediaBox is taken over.
TIEPDFDictionaryObject* IEPDFCreatePage(TIEPDFObjectList& objects, std::vector<TIEPDFDictionaryObject*>& pages,
                                         TIEPDFDictionaryObject* resources, int32_t contentsNumber,
                                         std::unique_ptr<TIEPDFArrayObject> mediaBox);
void IEPDFWriteObjects(TStream& stream, TIEPDFObjectList& objects);
// The cross-reference table of every object, then the trailer naming
// object 1 as root and info as the information dictionary.
void IEPDFWriteXRef(TStream& stream, TIEPDFObjectList& objects, const TIEPDFObject& info);
