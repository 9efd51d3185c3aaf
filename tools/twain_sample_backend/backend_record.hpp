#pragma once
// What the sample backend was given, recorded for people and tests. The environment variable
// VELMORA_SAMPLE_BACKEND_RECORD chooses where: a file path gets an XML property list, rewritten at
// every creation; "-" gets a readable description on standard error; unset records nothing.
//
// The property list: "Creations" (backends created in this process so far), "Identity" (the
// identity's fields), "IdentityBytes" (its 156 bytes), "Dictionary" (the info dictionary, with
// file URLs written as "file://" strings) and "Kinds" (key to the kind of its value: "file URL",
// "string", "integer (32-bit)", "integer (64-bit)", "real", "boolean", "array", ...).

#include "platform/plist/value.hpp"
#include "twain/protocol/twain_types.hpp"

namespace sample_backend {

void recordCreation(const twain::TW_IDENTITY& identity, const platform::plist::Value& dictionary);

// The record's parts, on their own.
platform::plist::Value identityFields(const twain::TW_IDENTITY& identity);
platform::plist::Value storableCopy(const platform::plist::Value& value);
platform::plist::Value valueKinds(const platform::plist::Value& dictionary);

}  // namespace sample_backend
