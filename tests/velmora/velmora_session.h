#pragma once
// One configured run of the module: configure on construction, release on destruction.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "velmora_harness.h"

namespace velmora_test {

class FilterSession {
public:
    FilterSession(const VelmoraModule& module, std::vector<std::string> words, int width,
                  int height)
        : module_(module), words_(std::move(words)) {
        std::vector<char*> argv;
        for (std::string& word : words_) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        char error[512] = "untouched";
        result_ = module_.configure()(&ctx_, static_cast<int>(words_.size()), argv.data(), width,
                                      height, 25, 1, error, sizeof error);
        error_ = error;
    }
    ~FilterSession() { module_.release()(ctx_); }
    FilterSession(const FilterSession&) = delete;
    FilterSession& operator=(const FilterSession&) = delete;

    // The usual command line: velmora.dll -N <comment.ini> -D <data.ini>
    static std::vector<std::string> words(const std::string& commentPath,
                                          const std::string& dataPath) {
        return {"velmora.dll", "-N", commentPath, "-D", dataPath};
    }

    bool ok() const { return result_ == 0 && ctx_ != nullptr; }
    int result() const { return result_; }
    const std::string& error() const { return error_; }
    void* context() const { return ctx_; }

    int process(TestFrame& frame, int64_t index, int matrix = 601, int fullRange = 0) {
        VhookFrame view = frame.view(index, matrix, fullRange);
        return module_.process()(ctx_, &view);
    }

private:
    const VelmoraModule& module_;
    std::vector<std::string> words_;
    void* ctx_ = nullptr;
    int result_ = -1;
    std::string error_;
};

// A test with the module loaded and a temporary folder for the overlay files.
class VelmoraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.loaded()) << "cannot load velmora.so: " << module_.loadError();
        ASSERT_FALSE(folder_.path().empty());
    }

    // Writes comment.ini and data.ini into the temporary folder.
    void writeOverlay(const std::vector<Block>& blocks, const Header& header = Header{}) {
        writeFile(commentPath(), commentIniText(header, blocks));
        writeFile(dataPath(), dataIniText(blocks));
    }

    std::string commentPath() const { return folder_.file("comment.ini"); }
    std::string dataPath() const { return folder_.file("data.ini"); }

    std::unique_ptr<FilterSession> open(int width = 320, int height = 240) {
        return std::make_unique<FilterSession>(
            module_, FilterSession::words(commentPath(), dataPath()), width, height);
    }

    VelmoraModule module_;
    TempFolder folder_;
};

}  // namespace velmora_test
