// The source list: adding through the dialog, drag and drop and folders, the same file twice,
// files that cannot be opened, selecting, removing and clearing.

#include "app/workbench/source_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "model_test_support.h"

namespace ok::test {
namespace {

TEST(SourceFilterTest, PatternsMatchInAnyLetterCase) {
  EXPECT_EQ(VideoFileExtensions().size(), 27u);
  EXPECT_EQ(VideoFileExtensions().front(), ".AVI");
  EXPECT_EQ(VideoFileExtensions().back(), ".3G2");
  for (const char* name : {"/a/b.avi", "c.M2TS", "d.Mp4", "e.rmvb", "f.TP", "g.webm"})
    EXPECT_TRUE(IsVideoFileName(name)) << name;
  for (const char* name : {"g.txt", "noext", "h.avi.part", ".avi", "i.mp"})
    EXPECT_FALSE(IsVideoFileName(name)) << name;
}

class SourceListTest : public ModelTest {
 protected:
  std::string Copy(const std::string& from, const std::string& name) {
    const std::string to = tmp / name;
    std::filesystem::copy_file(from, to);
    return to;
  }
};

TEST_F(SourceListTest, DialogAddsRowsWithTheirDescriptions) {
  OK_SAMPLE(avi, "sample.avi");
  const std::string mkv = SamplesDir() + "/sample.mkv";
  const std::string phone = SamplesDir() + "/phone.3gp";
  view.DialogAnswers.push_back({avi, mkv, phone});
  model->OnAddFilesClicked();
  EXPECT_EQ(view.LastFilter, std::string(VideoFileFilter));
  EXPECT_TRUE(view.LastMultiSelect);
  ASSERT_EQ(model->sourceList.Rows.size(), 3u) << testing::PrintToString(view.MessageTexts());
  EXPECT_EQ(model->SourcePaths(), (std::vector<std::string>{avi, mkv, phone}));
  const TListRow& first = model->sourceList.Rows[0];
  EXPECT_EQ(first.Caption, "sample");
  // Before Start the progress column tells the size the output is expected to reach.
  auto described = [](const TListRow& row) {
    EXPECT_EQ(row.SubItems.at(3).rfind("预计 ", 0), 0u) << row.SubItems.at(3);
    return std::vector<std::string>(row.SubItems.begin(), row.SubItems.begin() + 3);
  };
  EXPECT_EQ(described(first), (std::vector<std::string>{".AVI", "640 X 360", " 00:00:04"}));
  EXPECT_EQ(model->sourceList.Rows[1].SubItems[0], ".MKV");
  EXPECT_EQ(described(model->sourceList.Rows[2]),
            (std::vector<std::string>{".3GP", "176 X 144", " 00:03:35"}));
  EXPECT_FALSE(model->addPanel.Visible);
  EXPECT_TRUE(model->addButton.Visible && model->removeButton.Visible && model->clearButton.Visible);
  // The preview holds the last file added, by its real path.
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), phone);
  EXPECT_TRUE(view.Messages.empty());

  view.DialogAnswers.push_back({});  // cancelled
  model->OnAddFilesClicked();
  EXPECT_EQ(model->sourceList.Rows.size(), 3u);
}

TEST_F(SourceListTest, SameFileIsAddedOnceWhileNamesDifferingInCaseAreTwoFiles) {
  OK_SAMPLE(mp4, "sample.mp4");
  const std::string upper = Copy(mp4, "Clip.mp4");
  const std::string lower = Copy(mp4, "clip.mp4");
  const std::string symlink = tmp / "link.mp4";
  const std::string hardlink = tmp / "hard.mp4";
  ASSERT_EQ(::symlink(upper.c_str(), symlink.c_str()), 0);
  ASSERT_EQ(::link(upper.c_str(), hardlink.c_str()), 0);
  model->AddFiles({upper, upper, lower});
  model->AddFiles({symlink, hardlink, tmp / "./Clip.mp4", upper});
  ASSERT_EQ(model->SourcePaths(), (std::vector<std::string>{upper, lower}));
  EXPECT_EQ(model->sourceList.Rows[0].Caption, "Clip");
  EXPECT_EQ(model->sourceList.Rows[1].Caption, "clip");
  EXPECT_TRUE(view.Messages.empty());
}

TEST_F(SourceListTest, FilesThatCannotBeOpenedAreListedInOneWarning) {
  OK_SAMPLE(good, "sample.avi");
  const std::string missing = tmp / "missing.avi";
  const std::string fifo = tmp / "pipe.avi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string damaged = SamplesDir() + "/chunk_out_of_range.mp4";
  const std::string audio = Fixture("wb_tone.flac", "-f lavfi -i sine=duration=1");
  model->AddFiles({good, missing, fifo, damaged, audio});
  ASSERT_EQ(model->SourcePaths(), std::vector<std::string>{good});
  ASSERT_EQ(view.Messages.size(), 1u);
  EXPECT_EQ(view.Messages[0].Kind, mkWarning);
  const std::string& text = view.Messages[0].Text;
  EXPECT_EQ(text.rfind("以下文件未能添加：\n", 0), 0u) << text;
  EXPECT_NE(text.find(missing + ": 文件不存在"), std::string::npos) << text;
  EXPECT_NE(text.find(fifo + ": 不是普通文件"), std::string::npos) << text;
  EXPECT_NE(text.find(damaged + ": "), std::string::npos) << text;
  EXPECT_NE(text.find(audio + ": 没有视频流"), std::string::npos) << text;
  // The failures after it did not take the preview away from the file that was added.
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), good);
  EXPECT_FALSE(model->previewFrame.IsEmpty());
}

TEST_F(SourceListTest, FolderAddsItsVideoFilesInNameOrder) {
  OK_SAMPLE(mp4, "sample.mp4");
  std::filesystem::create_directory(tmp / "in");
  const std::string b = Copy(mp4, "in/b.MP4");
  const std::string a = Copy(mp4, "in/a.mp4");
  Copy(mp4, "in/notes.txt");
  model->AddFiles({tmp / "in"});
  EXPECT_EQ(model->SourcePaths(), (std::vector<std::string>{a, b}));
}

TEST_F(SourceListTest, SelectingRemovingAndClearing) {
  OK_SAMPLE(avi, "sample.avi");
  const std::string mp4 = SamplesDir() + "/sample.mp4";
  model->AddFiles({avi});
  model->OnSourceSelected(0);  // a single row: nothing to load
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), avi);

  model->AddFiles({mp4});
  model->OnSourceSelected(0);
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), avi);
  EXPECT_EQ(model->Sources.size(), 2u);             // selecting appends nothing
  EXPECT_EQ(model->Transcoder.Tasks().Count(), 0);  // and queues nothing
  model->OnSourceSelected(1);
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), mp4);

  model->OnSourceSelected(-1);
  model->OnRemoveClicked();
  ASSERT_EQ(view.MessageTexts(), std::vector<std::string>{"请先选择一个视频文件进行删除！"});
  EXPECT_EQ(model->Sources.size(), 2u);

  model->OnSourceSelected(0);
  model->OnRemoveClicked();
  EXPECT_EQ(model->SourcePaths(), std::vector<std::string>{mp4});
  ASSERT_EQ(model->sourceList.Rows.size(), 1u);
  EXPECT_EQ(model->sourceList.Rows[0].SubItems[0], ".MP4");
  // The preview follows the selection: the row that took the deleted one's place.
  EXPECT_EQ(model->sourceList.SelectedIndex, 0);
  EXPECT_EQ(model->PreviewRow(), 0);
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), mp4);

  model->AddFiles({avi});  // the new row is selected and shown
  EXPECT_EQ(model->sourceList.SelectedIndex, 1);
  EXPECT_EQ(model->Transcoder.Probe().GetFileName(), avi);

  model->OnClearClicked();
  EXPECT_TRUE(model->Sources.empty());
  EXPECT_TRUE(model->sourceList.Rows.empty());
  // Nothing shown, and the large add button is back.
  EXPECT_EQ(model->PreviewRow(), -1);
  EXPECT_TRUE(model->previewFrame.IsEmpty());
  EXPECT_EQ(model->previewTrackBar.Max, 0);
  EXPECT_TRUE(model->addPanel.Visible);
  EXPECT_FALSE(model->removeButton.Visible);
}

}  // namespace
}  // namespace ok::test
