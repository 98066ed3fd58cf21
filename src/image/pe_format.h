// SPDX-License-Identifier: MIT
// The PE/COFF fields uitrans reads or patches, each named once with its
// offset from the start of the structure that holds it. Sizes in bytes.
#pragma once

#include <cstdint>

namespace uitrans::pe {

// DOS header.
inline constexpr uint32_t kDosHeaderSize = 64;
inline constexpr uint32_t kDosLfanew = 0x3C;  // e_lfanew: the NT headers

// NT headers: the signature "PE\0\0", then the COFF file header.
inline constexpr uint32_t kNtSignature = 0x00004550;
inline constexpr uint32_t kNtSignatureSize = 4;
inline constexpr uint32_t kCoffHeaderSize = 20;
// COFF file header fields, from the start of the NT headers.
inline constexpr uint32_t kNtNumberOfSections = kNtSignatureSize + 2;
inline constexpr uint32_t kNtPointerToSymbolTable = kNtSignatureSize + 8;
inline constexpr uint32_t kNtSizeOfOptionalHeader = kNtSignatureSize + 16;
inline constexpr uint32_t kNtOptionalHeader =
    kNtSignatureSize + kCoffHeaderSize;

// Optional header fields, from its start; the same in PE32 and PE32+ up to
// the data directories.
inline constexpr uint32_t kOptMagic = 0;
inline constexpr uint16_t kMagicPe32 = 0x10B;
inline constexpr uint16_t kMagicPe32Plus = 0x20B;
inline constexpr uint32_t kOptSectionAlignment = 32;
inline constexpr uint32_t kOptFileAlignment = 36;
inline constexpr uint32_t kOptSizeOfImage = 56;
inline constexpr uint32_t kOptCheckSum = 64;
// NumberOfRvaAndSizes and the data directory array follow the stack and heap
// sizes, which are 64-bit in PE32+.
inline constexpr uint32_t kOptNumberOfRvaAndSizes32 = 92;
inline constexpr uint32_t kOptNumberOfRvaAndSizes64 = 108;
inline constexpr uint32_t kOptDataDirectories32 = 96;
inline constexpr uint32_t kOptDataDirectories64 = 112;
// The smallest optional headers accepted: all sixteen data directories.
inline constexpr uint32_t kMinOptionalHeader32 = 224;
inline constexpr uint32_t kMinOptionalHeader64 = 240;

// A data directory entry, and the indexes used.
inline constexpr uint32_t kDataDirectorySize = 8;
inline constexpr uint32_t kDataDirectoryRva = 0;
inline constexpr uint32_t kDataDirectorySizeField = 4;
inline constexpr uint32_t kDirectoryResources = 2;
inline constexpr uint32_t kDirectoryCertificates = 4;
inline constexpr uint32_t kDirectoryDebug = 6;

// A section header.
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint32_t kSectionNameSize = 8;
inline constexpr uint32_t kSectionVirtualSize = 8;
inline constexpr uint32_t kSectionVirtualAddress = 12;
inline constexpr uint32_t kSectionSizeOfRawData = 16;
inline constexpr uint32_t kSectionPointerToRawData = 20;
inline constexpr uint32_t kSectionCharacteristics = 36;
inline constexpr uint32_t kSectionMemDiscardable = 0x02000000;

// A debug directory entry.
inline constexpr uint32_t kDebugEntrySize = 28;
inline constexpr uint32_t kDebugAddressOfRawData = 20;
inline constexpr uint32_t kDebugPointerToRawData = 24;

// Resource types (the Name of a root-level entry) uitrans reads.
inline constexpr uint32_t kResourceTypeMenu = 4;           // RT_MENU
inline constexpr uint32_t kResourceTypeDialog = 5;         // RT_DIALOG
inline constexpr uint32_t kResourceTypeString = 6;         // RT_STRING
inline constexpr uint32_t kResourceTypeMessageTable = 11;  // RT_MESSAGETABLE
inline constexpr uint32_t kResourceTypeVersion = 16;       // RT_VERSION

// Resource directory structures.
inline constexpr uint32_t kResourceDirectorySize = 16;
inline constexpr uint32_t kResourceCharacteristics = 0;
inline constexpr uint32_t kResourceTimeDateStamp = 4;
inline constexpr uint32_t kResourceMajorVersion = 8;
inline constexpr uint32_t kResourceMinorVersion = 10;
inline constexpr uint32_t kResourceNamedEntries = 12;  // NumberOfNamedEntries
inline constexpr uint32_t kResourceIdEntries = 14;     // NumberOfIdEntries
inline constexpr uint32_t kResourceEntrySize = 8;
inline constexpr uint32_t kResourceEntryName = 0;
inline constexpr uint32_t kResourceEntryOffsetToData = 4;
inline constexpr uint32_t kResourceHighBit = 0x80000000;  // name / subdir
inline constexpr uint32_t kResourceDataEntrySize = 16;
inline constexpr uint32_t kResourceDataOffsetToData = 0;  // an RVA
inline constexpr uint32_t kResourceDataSize = 4;
inline constexpr uint32_t kResourceDataCodePage = 8;
inline constexpr uint32_t kResourceDataReserved = 12;

}  // namespace uitrans::pe
