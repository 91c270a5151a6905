// The known total of a batch's progress, the share done and the line that shows them.

#include "engine/GenerationProgress.h"

#include <gtest/gtest.h>

TEST(GenerationProgress, TheShareDoneCountsFinishedFilesAndTheWrittenPartOfSizedFilesInHand) {
    CGenerationProgress progress;
    EXPECT_FALSE(progress.FractionDone().has_value()) << "no total known yet";
    progress.AddExpectedFiles(3);
    progress.AddExpectedFiles(1);
    EXPECT_EQ(progress.ExpectedFiles(), 4u);
    EXPECT_DOUBLE_EQ(*progress.FractionDone(), 0.0);

    // One file finished, one of 1,000 bytes half written: 1.5 of 4.
    progress.AddFile(200);
    progress.BeginSizedFile(1000);
    progress.AddSizedBytes(500);
    EXPECT_DOUBLE_EQ(*progress.FractionDone(), 1.5 / 4);
    // A second file in hand, not begun: the two are a quarter written between them.
    progress.BeginSizedFile(1000);
    EXPECT_DOUBLE_EQ(*progress.FractionDone(), 1.5 / 4);
    progress.EndSizedFile(1000, 500);
    progress.AddFile(500);
    EXPECT_DOUBLE_EQ(*progress.FractionDone(), 2.0 / 4);
    progress.EndSizedFile(1000, 0);
    // More files than the known total, or written bytes past the drawn size, never pass 1.
    progress.AddFile(1);
    progress.AddFile(1);
    progress.AddFile(1);
    EXPECT_DOUBLE_EQ(*progress.FractionDone(), 1.0);
}

TEST(GenerationProgress, TheLineShowsTheKnownTotalTheShareAndTheTimeLeft) {
    EXPECT_EQ(FormatProgress(3, 3.0 * 1024 * 1024, 2, 0, std::nullopt),
              "3 files, 3.0 MiB written, 1.5 MiB/s");
    // A quarter in 10 s leaves 30 s.
    EXPECT_EQ(FormatProgress(10, 2048, 10, 40, 0.25),
              "10/40 files (25%), 2.0 KiB written, 205 B/s, 0:30 left");
    // Nothing done yet, or all done, tells no time left; hours are shown as such.
    EXPECT_EQ(FormatProgress(0, 0, 5, 40, 0.0), "0/40 files (0%), 0 B written, 0 B/s");
    EXPECT_EQ(FormatProgress(40, 100, 5, 40, 1.0), "40/40 files (100%), 100 B written, 20 B/s");
    EXPECT_EQ(FormatProgress(1, 100, 3600, 2, 0.5), "1/2 files (50%), 100 B written, 0 B/s, 1:00:00 left");
}
