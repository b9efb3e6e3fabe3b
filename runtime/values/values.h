// Values library: every command of arrays, string functions, math and random
// numbers, files, INI files, media packs and the system. Numbers are doubles;
// integer arguments are truncated toward zero. The string value itself is
// RtString (rt_string.h, with its comparisons in rt_string_compare.h); the array
// types are in rt_array.h.
#pragma once

#include <cstdint>

#include "runtime/values/rt_array.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- arrays
// Sizes and indices are eight numbers; the unused trailing ones are 0. Access
// errors end the program: 7 no storage, 8 first size 0, 9 index out of range.
RtArray& DimArray(RtArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0, double d7 = 0, double d8 = 0); // (re)allocate, all elements 0
RtStringArray& DimArray(RtStringArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0, double d7 = 0, double d8 = 0); // (re)allocate, all elements empty
double& ArrayElement(RtArray& a, double i1, double i2, double i3, double i4, double i5, double i6, double i7, double i8); // checked element reference
RtString& ArrayElement(RtStringArray& a, double i1, double i2, double i3, double i4, double i5, double i6, double i7, double i8); // checked element reference
RtArray& CopyArray(RtArray& target, const RtArray& source); // target := source, sizes and elements
RtArray& RedimArray(RtArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0, double d7 = 0, double d8 = 0); // new sizes, overlapping elements kept
double ArrayBound(const RtArray& a, double dimension);   // size of dimension k+1 (k 0..7), else 0
double ArrayBound(const RtStringArray& a, double dimension); // the same for a string array

// ---------------------------------------------------------------- string functions
double   StringLength(const RtString& s);                // cached length
double   NumberTextLength(double value);                 // length of the number's text
double   FindText(const char* text, const char* find);   // first position, -1 absent, 0 for an empty find
double   FindText(const RtString& text, const char* find);            // the same
double   FindText(const char* text, const RtString& find);            // the same
double   FindText(const RtString& text, const RtString& find);        // the same
RtString UpperCase(const RtString& s);                   // a..z to A..Z, other bytes kept
RtString LowerCase(const RtString& s);                   // A..Z to a..z, other bytes kept
double   CharCode(const RtString& s);                    // first byte, signed; 0 when empty
RtString CharFromCode(double code);                      // one byte: low 8 bits; empty for 0
RtString FormatNumber(double width, double decimals, double value); // printf "%w.df"
RtString HexText(const void* bytes, double count);       // two upper-case hex digits per byte
RtString HexText(const RtString& bytes, double count);   // the same, at most the string's length
double   ForwardSlashes(RtString& s);                    // '\\' to '/' in place; returns the length
double   WildcardMatch(const char* pattern, const char* name); // '*' any run, '?' any byte but '.'
RtString MidText(const RtString& s, double start, double count); // substring, clamped
RtString ReplaceText(const RtString& s, const char* find, const char* replacement); // left to right, non-overlapping
RtString ReplaceText(const RtString& s, const RtString& find, const RtString& replacement); // the same
double   SplitText(const RtString& text, RtStringArray& pieces, const char* delimiters); // pieces between delimiters; count
double   FindAnyOf(const RtString& text, const char* set);  // first byte in the set, -1 none
double   FindNotOf(const RtString& text, const char* set);  // first byte not in the set, -1 none

// ---------------------------------------------------------------- math (degrees)
double SinDeg(double angle);                             // sin(angle / 57.2957795)
double CosDeg(double angle);                             // cos(angle / 57.2957795)
double TanDeg(double angle);                             // tan(angle / 57.2957795)
double ASinDeg(double x);                                // asin in degrees, clamped to -90..90
double ACosDeg(double x);                                // acos in degrees, clamped to 0..180
double ATan2Deg(double y, double x);                     // atan2 in degrees, -180..180
double Power(double base, double exponent);              // pow
double SquareRoot(double x);                             // sqrt; NaN for a negative x
double Absolute(double x);                               // |x|
double IntMod(double a, double b);                       // integer remainder, sign of a; 0 for b 0
double BoxesOverlap(double x1, double y1, double w1, double h1,
                    double x2, double y2, double w2, double h2); // 1 when the rectangles overlap or touch

// ---------------------------------------------------------------- random numbers
double Random(double n);                                 // whole number 0..n inclusive (ISAAC)
void   SeedRandom(std::uint32_t seed);                   // restart the generator from a seed

// ---------------------------------------------------------------- line files (256 lines of up to 1023 bytes)
double ReadLineText(const char* fileName, double line, RtString& text);     // 0 with the line in text; "NO_DATA" for an empty line; "NO_FILE" and 3 when the file cannot be selected; 7 for a bad index
double ReadLineNumber(const char* fileName, double line, double& number);   // the line as by ReadLineText, then atof ("NO_DATA"/"NO_FILE" give 0)
double WriteLineText(const char* fileName, double line, const char* text);  // stores the text (cut at 1023 bytes) in the line; 0, or 7 for a bad index
double WriteLineNumber(const char* fileName, double line, double number);   // stores the number's text in the line

// ---------------------------------------------------------------- files and directories
double  FileExists(const char* path);                        // 1 if the file opens for reading, else 0
double  RemoveFile(const char* path);                        // non-zero when the file was deleted, else 0
void    CopyFile(const char* source, const char* target);    // whole copy; a failed copy leaves no target
RtString GetCurrentDir();                                    // current directory, forward slashes, one trailing slash
double  SetCurrentDir(const char* path);                     // 1 on success, else 0
double  ListFiles(const char* pattern, RtStringArray& names); // directories then matching files of the current directory; files + 65536 x directories

// ---------------------------------------------------------------- INI files (one open at a time)
void     IniOpen(const char* fileName);                              // saves the open file when changed, then loads this one
RtString IniGet(const char* section, const char* key);               // the value, or "NO_DATA"
void     IniPut(const char* section, const char* key, const char* value); // adds or changes; empty value removes the key, empty key the section

// ---------------------------------------------------------------- system
RtString PlatformInfo(RtString& query);                      // "" -> "LINUX"/"WIN32", "DEVICE" -> "DESKTOP", "ID" -> machine id, else "NO_DATA"; query upper-cased in place
double   RunProgram(const char* commandLineText, double wait, double show, double& exitCode); // 1 if started (with wait: after it ended, exit code stored), else 0
RtString CommandLineText();                                  // the command line the program was started with
extern RtString commandLine;                                 // the process command line, unchanged (set by the entry)

// ---------------------------------------------------------------- media packs
void SetMediaPacks(const RtString& secondPack, const RtString& firstPack); // pack of context [1], then of context [0]; old temporary files deleted

} // namespace corvane
