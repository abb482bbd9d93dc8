// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dialog_controller.h"

namespace quillbox::app::test {

// The dialog's modal windows answered in advance; what they were opened with is kept. A run
// goes on at once on the calling thread, or, with holdRuns, waits for FinishRun.
class FakeDialogShell final : public IDialogShell {
public:
    // Tells whether "生成" is disabled at the moment a message is shown.
    std::function<bool()> generateDisabled = [] { return false; };

    std::optional<std::u16string> ChooseFolder(std::u16string_view title) override {
        folderTitles.emplace_back(title);
        return Next(folderAnswers);
    }
    std::optional<std::u16string> ChooseSaveFile(const SaveAsRequest& request) override {
        saveRequests.push_back({std::u16string(request.defaultExtension),
                                std::u16string(request.fileName), std::u16string(request.filter)});
        return Next(saveAnswers);
    }
    void ShowMessage(std::u16string_view text) override {
        messages.emplace_back(text);
        generateDisabledDuringMessage.push_back(generateDisabled());
    }
    void ShowAbout() override { ++aboutBoxes; }
    std::optional<ArchiveOptions> ChooseOptions(const ArchiveOptions& current) override {
        optionsOpenedWith.push_back(current);
        if (optionsAnswers.empty()) {
            return std::nullopt;
        }
        auto answer = optionsAnswers.front();
        optionsAnswers.pop_front();
        return answer;
    }
    bool AskToStop() override {
        ++stopQuestions;
        whileAsking();
        return stopAnswer;
    }
    void SetTitle(std::u16string_view title) override { titles.emplace_back(title); }
    std::jthread RunInBackground(std::function<void()> work, std::function<void()> done) override {
        held = {std::move(work), std::move(done)};
        if (!holdRuns) {
            FinishRun();
        }
        return {};
    }
    void Post(std::function<void()> task) override { task(); }
    void Close() override { ++closes; }

    // Runs the run held back, then what follows it on the dialog's thread.
    void FinishRun() {
        auto [work, done] = std::exchange(held, {});
        work();
        done();
    }

    std::deque<std::optional<std::u16string>> folderAnswers;
    std::deque<std::optional<std::u16string>> saveAnswers;
    std::vector<std::u16string> folderTitles;
    std::vector<std::array<std::u16string, 3>> saveRequests;
    std::vector<std::u16string> messages;
    std::vector<bool> generateDisabledDuringMessage;
    int aboutBoxes = 0;
    std::deque<std::optional<ArchiveOptions>> optionsAnswers;
    std::vector<ArchiveOptions> optionsOpenedWith;
    bool stopAnswer = false;
    std::function<void()> whileAsking = [] {};
    int stopQuestions = 0;
    std::vector<std::u16string> titles;
    bool holdRuns = false;
    std::pair<std::function<void()>, std::function<void()>> held;
    int closes = 0;

private:
    static std::optional<std::u16string> Next(std::deque<std::optional<std::u16string>>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// What one run was asked to do, and the state of "生成" while it ran.
struct RecordedRun {
    ArchiveRequest request;
    bool generateDisabled;
};

}  // namespace quillbox::app::test
