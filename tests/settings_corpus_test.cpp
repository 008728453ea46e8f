// The fuzz corpus and many damaged copies of the shipped skv.ini, read with
// this build's sanitizers: every record satisfies the invariants.
#include "settings_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

std::string file_text(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class settings_corpus : public ::testing::Test {
protected:
    void TearDown() override { stop_catching(); }
    void check(const std::string& text, const std::string& what) {
        start_clean_settings();
        read_settings_text(text);
        ASSERT_EQ(settings_invariant_failure(), "") << what;
    }
};

TEST_F(settings_corpus, every_saved_input) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SKARVO_CORPUS_PATH)) {
        check(file_text(entry.path()), entry.path().string());
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST_F(settings_corpus, damaged_copies_of_the_shipped_file) {
    const std::string shipped = file_text(SKARVO_INI_PATH);
    const char pieces[] = " \t\n\r-+.:0123456789x";
    std::mt19937 random(2004);
    for (int i = 0; i < 3000; ++i) {
        std::string text = shipped;
        for (int damage = 1 + static_cast<int>(random() % 6); damage > 0; --damage) {
            std::size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text[at] = pieces[random() % (sizeof pieces - 1)]; break;
            case 1: text.erase(at, random() % 20); break;
            default: text.insert(at, std::string(random() % 4 + 1, pieces[random() % (sizeof pieces - 1)])); break;
            }
        }
        check(text, "damaged copy " + std::to_string(i));
    }
}

}  // namespace
