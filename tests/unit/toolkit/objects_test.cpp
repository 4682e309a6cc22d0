// Window objects without a screen: creation, ownership, geometry.
#include <gtest/gtest.h>

#include "toolkit/headless/headless.h"
#include "toolkit/toolkit.h"

namespace lum {
namespace {

class ToolkitObjects : public ::testing::Test {
 protected:
  void SetUp() override { headless::Reset(); }
  Form form;
};

// --- creation ---

TEST_F(ToolkitObjects, ChildTakesParentFontAndColoursOnlyWhenCreated) {
  form.SetFont(Font{"MS Shell Dlg 2", 11, false});
  Panel& news = Make<Panel>(form);
  news.SetColor(SysColor(kColorInfoBk));
  news.SetFontColor(SysColor(kColorInfoText));
  Label& early = Make<Label>(news);

  news.SetFont(Font{"Marlett", 12, true});
  news.SetColor(SysColor(kColor3DDkShadow));
  Label& late = Make<Label>(news);

  EXPECT_EQ(early.GetFont(), (Font{"MS Shell Dlg 2", 11, false}));
  EXPECT_EQ(early.GetColor(), SysColor(kColorInfoBk));
  EXPECT_EQ(early.FontColor(), SysColor(kColorInfoText));
  EXPECT_EQ(late.GetFont(), (Font{"Marlett", 12, true}));
  EXPECT_EQ(late.GetColor(), SysColor(kColor3DDkShadow));
  EXPECT_EQ(late.FontColor(), SysColor(kColorInfoText));
}

TEST_F(ToolkitObjects, NewFormIsHiddenOnButtonFaceAndChildrenAreVisible) {
  Panel& panel = Make<Panel>(form);
  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(form.GetColor(), SysColor(kColorBtnFace));
  EXPECT_TRUE(panel.Visible());
  EXPECT_FALSE(panel.Showing());  // its form is not shown
}

TEST_F(ToolkitObjects, SystemWindowsComeWithTheFormAndHiddenOnesStayHidden) {
  Panel& page = Make<Panel>(form);
  page.Hide();
  Edit& edit = Make<Edit>(page);
  EXPECT_FALSE(edit.HandleAllocated());

  form.CreateHandle();
  EXPECT_TRUE(page.HandleAllocated());
  EXPECT_TRUE(edit.HandleAllocated());
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(page.Visible());

  Button& later = Make<Button>(page);  // parent already has its window
  EXPECT_TRUE(later.HandleAllocated());
  EXPECT_NE(later.Handle(), edit.Handle());
}

TEST_F(ToolkitObjects, FreeingTheFormFreesWhatItOwns) {
  struct Record {
    int* freed;
    ~Record() { ++*freed; }
  };
  int freed = 0;
  auto* owner = new Form;
  owner->CreateHandle();
  Panel& panel = Make<Panel>(*owner);
  Make<Label>(panel);
  Make<Timer>(*owner, 100u).Start();
  owner->Adopt(new Record{&freed});
  owner->Adopt(new Record{&freed});
  delete owner;
  EXPECT_EQ(freed, 2);
}

TEST_F(ToolkitObjects, FreeingAChildTakesItOffItsParent) {
  Panel& panel = Make<Panel>(form);
  Label* label = &Make<Label>(panel);
  Edit& edit = Make<Edit>(panel);
  delete label;
  ASSERT_EQ(panel.Children().size(), 1u);
  EXPECT_EQ(panel.Children()[0], &edit);
  EXPECT_EQ(panel.ZOrder().size(), 1u);
}

// --- geometry ---

TEST_F(ToolkitObjects, FillAlignedChildKeepsParentMarginAndOverhangsWhenNegative) {
  form.SetClientSize(552, 404);
  Panel& client = Make<Panel>(form);
  client.SetAlign(Align::Client);
  client.SetMargin(-2);
  Panel& host = Make<Panel>(client);
  host.SetAlign(Align::Client);

  EXPECT_EQ(client.Bounds(), (Rect{0, 0, 552, 404}));
  EXPECT_EQ(host.Bounds(), (Rect{-2, -2, 554, 406}));
  EXPECT_EQ(host.Width(), 556);

  form.SetClientSize(611, 432);  // aligned children follow
  EXPECT_EQ(client.Bounds(), (Rect{0, 0, 611, 432}));
  EXPECT_EQ(host.Bounds(), (Rect{-2, -2, 613, 434}));

  client.SetMargin(3);
  EXPECT_EQ(host.Bounds(), (Rect{3, 3, 608, 429}));
  host.SetBounds(10, 10, 20, 20);  // an aligned child cannot be placed apart
  EXPECT_EQ(host.Bounds(), (Rect{3, 3, 608, 429}));
}

TEST_F(ToolkitObjects, ClientSizeOfACaptionedFixedFormExcludesCaptionAndFrame) {
  form.SetMaximizeBox(false);
  form.SetClientSize(611, 432);
  form.SetFixedSize(true);
  form.SetClientSize(552, 404);  // the size of creation is not kept

  Rect insets = form.FrameInsets();
  EXPECT_EQ(form.ClientSize(), (Size{552, 404}));
  EXPECT_GT(insets.left, 0);
  EXPECT_GT(insets.top, insets.bottom);  // the caption is on top
  EXPECT_EQ(form.Width(), 552 + insets.left + insets.right);
  EXPECT_EQ(form.Height(), 404 + insets.top + insets.bottom);
}

TEST_F(ToolkitObjects, PopupShapeHasNoFrameAndKeepsItsOuterSize) {
  form.SetClientSize(611, 432);
  Size outer{form.Width(), form.Height()};
  Panel& client = Make<Panel>(form);
  client.SetAlign(Align::Client);

  form.SetTopmost(true);
  form.SetToolWindow(true);
  form.SetCaption(false);
  EXPECT_EQ(form.FrameInsets(), Rect{});
  EXPECT_EQ(form.ClientSize(), outer);  // the frame's room went to the client
  EXPECT_EQ(client.Width(), outer.width);

  form.SetSize(345, 65);
  EXPECT_EQ(form.ClientSize(), (Size{345, 65}));
  EXPECT_EQ(client.Bounds(), (Rect{0, 0, 345, 65}));
  form.SetRoundRegion(Rect{0, 0, 346, 66}, 3, 3);
  ASSERT_NE(form.Region(), nullptr);
  EXPECT_EQ(*form.Region(), (Form::RoundRegion{Rect{0, 0, 346, 66}, 3, 3}));
}

TEST_F(ToolkitObjects, CentringRoundsHalvesDown) {
  form.SetSize(345, 65);
  form.CenterOnScreen();
  EXPECT_EQ(form.Left(), 339);  // (1024 - 345) / 2 = 339.5
  EXPECT_EQ(form.Top(), 351);   // (768 - 65) / 2 = 351.5

  headless::SetScreenSize({500, 400});
  form.SetSize(611, 433);  // larger than the screen: the halves are negative
  form.CenterOnScreen();
  EXPECT_EQ(form.Left(), -56);  // -55.5
  EXPECT_EQ(form.Top(), -17);   // -16.5

  // The primary screen need not start at the desktop's corner.
  headless::SetScreenOrigin({1280, 200});
  form.SetSize(300, 200);
  form.CenterOnScreen();
  EXPECT_EQ(form.Left(), 1280 + 100);
  EXPECT_EQ(form.Top(), 200 + 100);
}

TEST_F(ToolkitObjects, AutoSizedLabelFollowsTextAndFontAFixedOneDoesNot) {
  Label& heading = Make<Label>(form);
  Label& item = Make<Label>(form);
  item.SetAutoSize(false);
  item.SetBounds(68, 26, 264, 14);

  heading.SetText("Новости");
  Size short_text{heading.Width(), heading.Height()};
  heading.SetText("Новости Lumora Верескинск");
  EXPECT_GT(heading.Width(), short_text.width);
  EXPECT_EQ(heading.Height(), short_text.height);
  int normal_width = heading.Width();
  heading.SetFont(Font{"MS Shell Dlg 2", 11, true});
  EXPECT_GT(heading.Width(), normal_width);

  item.SetText(std::string(300, 'x'));
  EXPECT_EQ(item.Bounds(), (Rect{68, 26, 332, 40}));
}

TEST_F(ToolkitObjects, BringToFrontReordersSiblingsOnly) {
  Panel& host = Make<Panel>(form);
  Panel& page = Make<Panel>(form);
  Panel& news = Make<Panel>(form);
  ASSERT_EQ(form.ZOrder(), (std::vector<Control*>{&host, &page, &news}));
  news.BringToFront();
  EXPECT_EQ(form.ZOrder(), (std::vector<Control*>{&news, &host, &page}));
  EXPECT_EQ(form.Children(), (std::vector<Control*>{&host, &page, &news}));  // tab order
}

TEST_F(ToolkitObjects, ComboBoxChoiceStaysWithinItsItems) {
  ComboBox& combo = Make<ComboBox>(form);
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.AddItem("Не выбрано");
  combo.AddItem("Модель 1");
  combo.SetItemIndex(1);
  EXPECT_EQ(combo.ItemIndex(), 1);
  combo.SetItemIndex(2);
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.SetItemIndex(0);
  combo.ClearItems();
  EXPECT_EQ(combo.ItemIndex(), -1);
}

}  // namespace
}  // namespace lum
