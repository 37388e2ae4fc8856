#pragma once

#include <QTextFormat>

// Custom text-format properties and object types shared by the Delta conversion, the editor
// and the attachment renderer. The numbers are part of the document model: changing one
// breaks documents that are open while the code runs, never stored bodies.

namespace TextFormats {

// Block-format properties.
constexpr int HeadingLevelProperty = QTextFormat::UserProperty + 1;         // int 1..6
constexpr int ListTypeProperty = QTextFormat::UserProperty + 2;             // string: the line's "list"
constexpr int CodeBlockProperty = QTextFormat::UserProperty + 3;            // bool true or language string
constexpr int BlockquoteProperty = QTextFormat::UserProperty + 4;           // bool
constexpr int TableSpacerProperty = QTextFormat::UserProperty + 5;          // bool
constexpr int ExtraLineAttributesProperty = QTextFormat::UserProperty + 10; // JSON object (unknown line keys)
constexpr int TableMarkProperty = QTextFormat::UserProperty + 99;           // transient, table insertion only

// Character-format properties.
constexpr int ExtraCharAttributesProperty = QTextFormat::UserProperty + 20; // JSON object (unknown char keys)
constexpr int EmbedKeyProperty = QTextFormat::UserProperty + 100;           // "norvane-notes-attachment", ...
constexpr int EmbedValueProperty = QTextFormat::UserProperty + 101;         // attachment URL, "hr", table JSON

// Object types of the object replacement character U+FFFC.
constexpr int AttachmentObjectType = QTextFormat::UserObject + 1; // 4097
constexpr int DividerObjectType = QTextFormat::UserObject + 2;    // 4098
constexpr int TableObjectType = QTextFormat::UserObject + 3;      // 4099

} // namespace TextFormats

// True when the application palette is dark: the lightness of "#1E1E1E" is at least that of
// the palette's Window colour. Light/dark colour pairs are chosen with it at the moment of use.
bool isDarkPalette();
