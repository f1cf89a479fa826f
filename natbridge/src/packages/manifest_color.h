#pragma once
// The tile colour of a package manifest, read with XmlLite.
#include <objidl.h>

#include <cstdint>

namespace brisko {

// From the start of the stream: the BackgroundColor attribute of the first non-empty
// Package/Applications/Application/VisualElements element (local names). An absent attribute
// gives kNoBackgroundColor; a document without such an element, malformed XML or a DTD gives
// kUnreadableBackgroundColor.
std::int32_t ReadBackgroundColor(IStream* stream);

}  // namespace brisko
