#pragma once
// Option names and values of the old library generation that this generation spells differently
// or keeps elsewhere: codec flags that became private options of single encoders, generic codec
// and format options that moved into encoders and muxers, renamed options, and options whose
// media types widened.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AVOption;

namespace ok {

// The AV_OPT_FLAG_* set an option had in the old generation where this generation widened it:
// "b", "maxrate" and "minrate" were video options; now they are audio options as well, and a
// video bitrate would silently become the audio bitrate too.
std::optional<int> OldGenerationFlags(std::string_view name);
// The flags the option look-ups go by: the old ones where they differ, else the option's own.
int EffectiveOptionFlags(const AVOption* option);

// Where a member of an old "flags" or "flags2" value went.
struct TMovedFlag {
  enum TKind {
    mfPrivateBool,    // a boolean private option of the encoders of MediaType: "1" / "0"
    mfPrivateFlags,   // a member of a private flags option: "+member" / "-member" appended
    mfPrivateChoice,  // a private option with a value for set and one for cleared
    mfGeneric,        // a generic option of this generation: "1" / "0"
  };
  const char* Unit;     // "flags" or "flags2"
  const char* OldName;  // the member's old name
  TKind Kind;
  int MediaType;
  const char* NewName;   // the option of this generation
  const char* SetValue;  // mfPrivateFlags: the member; mfPrivateChoice: the value when set
  const char* ClearValue;
};
const std::vector<TMovedFlag>& MovedFlags();

// One moved member of a flags value, with the sign it carried.
struct TMovedFlagUse {
  const TMovedFlag* Flag;
  bool Set;  // '+' or no sign: set; '-': cleared
};

// Splits a "flags"/"flags2" value ("+a-b", "a+b") into the members this generation still has
// (returned in their order with their signs) and those that moved (appended to `moved`).
std::string SplitMovedFlags(const std::string& unit, const std::string& value,
                            std::vector<TMovedFlagUse>& moved);

// A renamed option: the old generic name, its successor in this generation, and how its values
// change (nullptr: unchanged).
struct TRenamedOption {
  const char* OldName;
  const char* NewName;
  std::string (*MapValue)(const std::string& value);
};
// The successors of an old name, in the order they are tried.
std::vector<const TRenamedOption*> RenamedOptions(std::string_view oldName);

// Bit t set when an encoder of media type t has a private option of that name.
int EncoderPrivateOptionTypes(const std::string& name);
// True when a muxer has a private option of that name.
bool MuxerHasPrivateOption(const std::string& name);

// Codec names of the old generation that this one no longer has, with their successors; the
// look-up tries the given name first.
const char* SuccessorCodecName(std::string_view name);

}  // namespace ok
