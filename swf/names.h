// Tag codes, action codes, filter identifiers and fill-style types, with the
// names the XML form uses for them, and the factory that creates the object
// of the right class for a tag code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/tag.h"

std::string TagIdToName(uint16_t code);
// -1 for names that name no loadable tag ("Error Tag" and "tag240" included).
int32_t TagNameToId(const std::string& name);
// True for the element name of a raw tag: "tag" and a decimal code.
bool IsRawTagElementName(const std::string& name);
std::string ActionCodeToName(uint8_t code, bool withPrefix);
int32_t ActionNameToCode(const std::string& name);
// True when the action table has a row for the code.
bool IsKnownActionCode(uint8_t code);
uint8_t FilterNameToId(const std::string& name);
std::string FilterIdToName(uint8_t id);
std::string FillStyleToName(uint8_t type, bool withPrefix);
uint8_t FillStyleFromName(const std::string& name);

// The object of the code's class; a code without a class gives a raw tag
// named "Uniknow tag" whose RealCode is the code.
std::unique_ptr<TSWFObject> CreateTagByCode(uint16_t code);
// A deep copy through the factory and CopyFieldsFrom.
std::unique_ptr<TSWFObject> CloneTag(const TSWFObject& source);

const std::string& ChooseString(size_t index, const std::vector<std::string>& strings);
int IndexOfText(const std::string& text, const std::vector<std::string>& strings);
int IndexOfPCharText(const std::string& text, const char* const* strings, size_t count);
