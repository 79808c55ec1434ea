#pragma once

// Failure numbers. They follow the classic automation runtime's numbering so
// that hosts comparing numbers see familiar values.
namespace vesk::errors {

inline constexpr int kInvalidArgument = 5;       // an unusable parameter
inline constexpr int kOverflow = 6;              // arithmetic overflow
inline constexpr int kOutOfMemory = 7;           // an allocation failed
inline constexpr int kIndexOutOfRange = 9;       // subscript out of range
inline constexpr int kLibraryNotLoaded = 48;     // a platform library cannot be loaded
inline constexpr int kFileNotFound = 53;         // the file does not exist
inline constexpr int kPermissionDenied = 70;     // the platform refused a request to another program
inline constexpr int kAccessRefused = 75;        // the platform refused the operation
inline constexpr int kPathNotFound = 76;         // the folder does not exist
inline constexpr int kEmptyElement = 91;         // operation on an empty XML element
inline constexpr int kCannotCreateObject = 429;  // no class of that name
inline constexpr int kEntryPointNotFound = 453;  // a platform entry point is missing
// Our own number, outside the runtime's reserved range 0-512: the XML text
// handed to LoadXml is not well-formed (the description says what and where).
inline constexpr int kXmlParse = 1000;

}  // namespace vesk::errors
