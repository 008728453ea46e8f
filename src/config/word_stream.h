// Reading a settings file as a stream of words. A word is a run of
// characters other than blanks, tabs and line ends; which word of a line
// carries a value is the file's format, and the other words are labels.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

enum class word_state {
    given,       // the word parsed
    unreadable,  // a word was there but did not parse
    absent,      // the file had ended
};

struct int_value {
    word_state state;
    std::int64_t value;  // when given
    std::string word;    // as written
    bool given() const { return state == word_state::given; }
};

struct float_value {
    word_state state;
    float value;  // when given
    bool given() const { return state == word_state::given; }
};

constexpr int max_line_words = 12;
constexpr std::size_t max_word_length = 255;  // longer words are cut

struct word_line {
    std::string word[max_line_words];
    int count;  // words read before the file ended
};

struct word_reader {
    std::istream* in;
};

// Reads the next `count` words (at most 12), whatever lines they stand on.
word_line read_words(word_reader& r, int count);

// The word at a 1-based position of the line, parsed.
int_value int_at(const word_line& line, int position);
float_value float_at(const word_line& line, int position);

// Skips the rest of the current line, then `lines` further non-blank lines.
void skip_line_and_next(word_reader& r, int lines);

// A whole word as an integer (optional sign and digits) or as a decimal
// number (optional sign, digits, an optional fraction).
int_value parse_int(const std::string& word);
float_value parse_float(const std::string& word);
