#pragma once

#include <cstddef>
#include <string>

// How close a model name is to what the user typed: people copy model names off a label, with
// another letter case, blanks or hyphens, and the letter O for a zero or I or l for a one.
namespace tolbe::core {

// Edits (insert, delete, replace, swap of two neighbours) from `a` to `b`: the optimal string
// alignment form of the Damerau-Levenshtein distance, on bytes. Stops early: `cap` + 1 for
// anything above `cap`.
std::size_t EditDistance(const std::string& a, const std::string& b, std::size_t cap);

// `model` without letter case, blanks, hyphens, dots, slashes and underscores, with O read as 0
// and I and l as 1: "28bl-O19t" and "28BL019T" both become "28b1019t".
std::string NormaliseModel(const std::string& model);

// True when the typed text holds 8 or more digits in a row: a serial number, not a model name.
bool LooksLikeSerial(const std::string& typed);

// How a model name answers the typed text, best first.
enum class ModelFit {
    Equal,    // the same after NormaliseModel
    Contains, // the typed text is part of the model name, as a model key word finds it
    Near,     // a few edits away ("Did you mean model ...?")
    Other,
};

struct ModelCloseness {
    ModelFit fit = ModelFit::Other;
    std::size_t edits = 0; // with ModelFit::Near: how many
};

// How close `model` is to `typed`, both as given (NormaliseModel is applied here). An empty typed
// text fits nothing: every model is ModelFit::Other.
ModelCloseness CompareModel(const std::string& typed, const std::string& model);

} // namespace tolbe::core
