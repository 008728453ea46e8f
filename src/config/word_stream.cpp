#include "config/word_stream.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The next word, or false when the file has ended first.
bool next_word(word_reader& r, std::string* word) {
    std::istream& in = *r.in;
    int c = in.get();
    while (c != EOF && is_blank(c)) c = in.get();
    if (c == EOF) return false;
    word->clear();
    while (c != EOF && !is_blank(c)) {
        if (word->size() < max_word_length) word->push_back(static_cast<char>(c));
        c = in.get();
    }
    if (c != EOF) in.unget();  // the blank after the word tells where its line ends
    return true;
}

// Skips through the end of the current line; true when the line held
// anything but blanks.
bool skip_line(std::istream& in) {
    bool had_text = false;
    for (int c = in.get(); c != EOF && c != '\n'; c = in.get())
        if (!is_blank(c)) had_text = true;
    return had_text;
}

// Optional sign and at least one digit from `at`; returns the position after.
std::size_t skip_sign_and_digits(const std::string& word, std::size_t at, int* digits) {
    if (at < word.size() && (word[at] == '+' || word[at] == '-')) ++at;
    *digits = 0;
    while (at < word.size() && is_digit(word[at])) ++at, ++*digits;
    return at;
}

}  // namespace

word_line read_words(word_reader& r, int count) {
    word_line line{};
    if (count > max_line_words) count = max_line_words;
    while (line.count < count && next_word(r, &line.word[line.count])) ++line.count;
    return line;
}

int_value int_at(const word_line& line, int position) {
    if (position < 1 || position > line.count) return {word_state::absent, 0, {}};
    return parse_int(line.word[position - 1]);
}

float_value float_at(const word_line& line, int position) {
    if (position < 1 || position > line.count) return {word_state::absent, 0.0f};
    return parse_float(line.word[position - 1]);
}

void skip_line_and_next(word_reader& r, int lines) {
    std::istream& in = *r.in;
    skip_line(in);
    while (lines > 0 && in.peek() != EOF)
        if (skip_line(in)) --lines;
}

int_value parse_int(const std::string& word) {
    int digits = 0;
    std::size_t end = skip_sign_and_digits(word, 0, &digits);
    if (digits == 0 || end != word.size()) return {word_state::unreadable, 0, word};
    errno = 0;
    long long value = std::strtoll(word.c_str(), nullptr, 10);
    if (errno == ERANGE) return {word_state::unreadable, 0, word};
    return {word_state::given, value, word};
}

float_value parse_float(const std::string& word) {
    int whole_digits = 0, fraction_digits = 0;
    std::size_t end = skip_sign_and_digits(word, 0, &whole_digits);
    if (end < word.size() && word[end] == '.')
        while (++end < word.size() && is_digit(word[end])) ++fraction_digits;
    if (whole_digits + fraction_digits == 0 || end != word.size()) return {word_state::unreadable, 0.0f};
    return {word_state::given, std::strtof(word.c_str(), nullptr)};
}
