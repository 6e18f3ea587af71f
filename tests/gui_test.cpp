// The real window under an X server: the form as built, typing, toggling and pressing
// Predict through GTK, then every label and the window's width.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "gui_networks.hpp"
#include "window_harness.hpp"

namespace {

namespace fs = std::filesystem;

const std::string intro = "Here is 3 different models prediction:";
const std::string models_not_loaded = "The price models for this pokemon \ncould not be loaded.";
const std::string not_available = "This pokemon is not available yet.";
const std::string bad_lvl =
    "The level exceeds the limit, \nplease insert a level less or equal to 100.";
const std::string bad_ivs =
    "One or more ivs exceed the limit, \nplease insert ivs less or equal to 32.";

// IVs of the test species whose Hidden Power is Ice (no addition for Eevee) and Fire
// (power 70: twice the 500k base price is added).
const std::vector<std::string> ice_ivs = {"30", "31", "30", "31", "31", "31"};
const std::vector<std::string> fire_ivs = {"31", "30", "31", "30", "31", "30"};
// One of Eevee's reference spreads (Psychic): the short reliability message.
const std::vector<std::string> reference_ivs = {"16", "9", "5", "29", "29", "24"};

// The prices the test networks give a Pokémon that is not shiny: 60000, 32272, 87727,
// average 59999, range 53999 - 65998.
const std::string summary_start =
    "Then the average price is: 59k\nRecommended sales range: 53k - 65k\n\n";
const std::string fire_addition =
    "This pokemon is eligible for a hidden power addition \nbased on the following "
    "description: \n\nPower : 70 \nBase price: 500k \n\nThe resulting addition is: 1.00m "
    "\nand the new recommended sales range is 1.05m - 1.07m";

std::string text_of(GtkWidget *label) {
  return gtk_label_get_text(GTK_LABEL(label));
}

// The main window over the test networks.
class Window : public main_window_test {
 protected:
  Window() : main_window_test(write_test_networks) {}

  GtkWidget *entry(int k) const { return entries()[k]; }

  void fill(const std::string &nid, const std::string &lvl, const std::vector<std::string> &ivs) {
    gtk_entry_set_text(GTK_ENTRY(entry(0)), nid.c_str());
    gtk_entry_set_text(GTK_ENTRY(entry(1)), lvl.c_str());
    for (int k = 0; k < 6; ++k) gtk_entry_set_text(GTK_ENTRY(entry(k + 2)), ivs[k].c_str());
  }

  void predict(const std::string &nid, const std::string &lvl,
               const std::vector<std::string> &ivs) {
    fill(nid, lvl, ivs);
    gtk_button_clicked(GTK_BUTTON(get_predict_btn_entry(controller_)));
    pump();
  }

  void toggle_shiny() {
    gtk_button_clicked(GTK_BUTTON(get_shiny_check_box(controller_)));
    pump();
  }

  // Waits for the window to take `width` after a resize; answers the width it has.
  int settled_width(int width) const {
    wait_for([&] { return gtk_widget_get_allocated_width(window_) == width; });
    return gtk_widget_get_allocated_width(window_);
  }

  // The width the window gets when the program asks for `asked`: the default and the
  // requested size are only minimums, and the Hidden Power addition's text, put at
  // x = 392, reaches past 709 pixels in most fonts.
  int width_for(int asked) const {
    int minimum = 0;
    gtk_widget_get_preferred_width(window_, &minimum, nullptr);
    return std::max(asked, minimum);
  }

  // Pumps events for a while (longer than a resize takes) and answers whether the window
  // kept `width` all along.
  bool keeps_width(int width) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    while (std::chrono::steady_clock::now() < until) {
      pump();
      if (gtk_widget_get_allocated_width(window_) != width) return false;
      g_usleep(5000);
    }
    return true;
  }

  std::string summary() const { return summary_start + get_in_range_message(model_) + "."; }

  // Every text of the window ends at least a few pixels before its right and bottom edges
  // (once the window has settled).
  void expect_texts_inside() const {
    const int right = gtk_widget_get_allocated_width(window_);
    const int bottom = gtk_widget_get_allocated_height(window_);
    std::unique_ptr<GList, decltype(&g_list_free)> children(
        gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window_)))),
        g_list_free);
    for (GList *l = children.get(); l != nullptr; l = l->next) {
      if (!GTK_IS_LABEL(l->data)) continue;
      GtkAllocation box;
      gtk_widget_get_allocation(GTK_WIDGET(l->data), &box);
      SCOPED_TRACE(text_of(GTK_WIDGET(l->data)));
      EXPECT_LE(box.x + box.width + 4, right);
      EXPECT_LE(box.y + box.height + 4, bottom);
    }
  }
};

// ---- The window and the form as built ----

TEST_F(Window, OpensTitledAtTheDefaultSizeWithEmptyResults) {
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window_)), "Orvanta BETA v4.48.4");
  EXPECT_EQ(get_windows(view_), window_);
  int width = 0;
  int height = 0;
  gtk_window_get_default_size(GTK_WINDOW(window_), &width, &height);
  // 371 pixels for the form and its results, 34 for the source line's two lines below.
  EXPECT_EQ(width, 416);
  EXPECT_EQ(height, 405);
  EXPECT_EQ(gtk_widget_get_allocated_width(window_), 416);
  EXPECT_EQ(gtk_widget_get_allocated_height(window_), 405);
  for (const std::string &text : labels()) EXPECT_EQ(text, "");
  EXPECT_EQ(source_line(), "");
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(get_shiny_check_box(controller_))));
}

struct placed {
  GType type;
  const char *text;  // a label's text, or nullptr
  int x;
  int y;
};

TEST_F(Window, FormWidgetsStandInCreationOrderAtTheirPositions) {
  const GType label = GTK_TYPE_LABEL;
  const GType entry = GTK_TYPE_ENTRY;
  // Captions stand right-aligned in a column from x = 8 to 6 pixels before the inputs.
  const int caption_x = 8;
  const std::vector<placed> expected = {
      {GTK_TYPE_CHECK_BUTTON, nullptr, 91, 18},
      {label, "Shiny", caption_x, 18},
      {label, "National ID", caption_x, 53},
      {entry, nullptr, 91, 44},
      {label, "", 149, 53},
      {label, "", 392, 53},
      {label, "Lvl", caption_x, 92},
      {entry, nullptr, 91, 83},
      {label, "", 149, 92},
      {label, "", 169, 112},
      {label, "", 169, 127},
      {label, "", 169, 142},
      {label, "HP", caption_x, 131},
      {entry, nullptr, 91, 122},
      {label, "Atk", caption_x, 170},
      {entry, nullptr, 91, 161},
      {label, "", 149, 170},
      {label, "Def", caption_x, 209},
      {entry, nullptr, 91, 200},
      {label, "SP Atk", caption_x, 248},
      {entry, nullptr, 91, 239},
      {label, "SP Def", caption_x, 287},
      {entry, nullptr, 91, 278},
      {label, "SPD", caption_x, 326},
      {entry, nullptr, 91, 317},
      {GTK_TYPE_BUTTON, "Predict", 150, 317},
      {label, "", caption_x, 361},  // the source line, below the form
  };
  GtkWidget *fixed = gtk_bin_get_child(GTK_BIN(window_));
  ASSERT_TRUE(GTK_IS_FIXED(fixed));
  std::unique_ptr<GList, decltype(&g_list_free)> children(
      gtk_container_get_children(GTK_CONTAINER(fixed)), g_list_free);
  ASSERT_EQ(g_list_length(children.get()), expected.size());
  std::size_t k = 0;
  for (GList *l = children.get(); l != nullptr; l = l->next, ++k) {
    GtkWidget *widget = GTK_WIDGET(l->data);
    SCOPED_TRACE("widget " + std::to_string(k + 1));
    EXPECT_EQ(G_OBJECT_TYPE(widget), expected[k].type);
    int x = -1;
    int y = -1;
    gtk_container_child_get(GTK_CONTAINER(fixed), widget, "x", &x, "y", &y, nullptr);
    EXPECT_EQ(x, expected[k].x);
    EXPECT_EQ(y, expected[k].y);
    if (GTK_IS_LABEL(widget)) {
      EXPECT_EQ(text_of(widget), expected[k].text);
    }
    if (GTK_IS_LABEL(widget) && x == caption_x && widget != get_source_line_label(view_)) {
      // The caption's text ends 6 pixels before its input, whole, and names the input
      // (the next widget, or the check box before it) for a screen reader.
      GtkAllocation box;
      gtk_widget_get_allocation(widget, &box);
      EXPECT_EQ(box.x + box.width, 91 - 6);
      EXPECT_EQ(gtk_label_get_xalign(GTK_LABEL(widget)), 1.0f);
      int natural = 0;
      gtk_widget_get_preferred_width(widget, nullptr, &natural);
      EXPECT_LE(natural, box.width);
      GtkWidget *input = GTK_WIDGET(g_list_nth_data(children.get(), k == 1 ? 0 : k + 1));
      EXPECT_EQ(gtk_label_get_mnemonic_widget(GTK_LABEL(widget)), input);
      EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(input)), expected[k].text);
    }
    if (GTK_IS_BUTTON(widget) && expected[k].text != nullptr) {
      EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(widget)), expected[k].text);
    }
    if (GTK_IS_ENTRY(widget)) {
      EXPECT_EQ(gtk_entry_get_width_chars(GTK_ENTRY(widget)), 3);
    }
  }
  // The records hold the widgets where the form put them.
  GList *first = children.get();
  EXPECT_EQ(g_list_nth_data(first, 0), get_shiny_check_box(controller_));
  EXPECT_EQ(g_list_nth_data(first, 3), get_nid_entry(controller_));
  EXPECT_EQ(g_list_nth_data(first, 4), get_hidden_power_label(view_));
  EXPECT_EQ(g_list_nth_data(first, 5), get_hidden_power_resume_label(view_));
  EXPECT_EQ(g_list_nth_data(first, 8), get_models_intro_label(view_));
  EXPECT_EQ(g_list_nth_data(first, 11), get_third_model_label(view_));
  EXPECT_EQ(g_list_nth_data(first, 16), get_model_resume_label(view_));
  EXPECT_EQ(g_list_nth_data(first, 24), get_spd_entry(controller_));
  EXPECT_EQ(g_list_nth_data(first, 25), get_predict_btn_entry(controller_));
  EXPECT_EQ(g_list_nth_data(first, 26), get_source_line_label(view_));
}

TEST_F(Window, EntriesStopAtTheirLimitsAndAcceptLetters) {
  for (int k = 0; k < 8; ++k) gtk_entry_set_text(GTK_ENTRY(entry(k)), "abcd1");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry(0))), "abc");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry(1))), "abc");
  for (int k = 2; k < 8; ++k) EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry(k))), "ab") << k;
  gtk_entry_set_text(GTK_ENTRY(entry(0)), "1337");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry(0))), "133");
}

TEST_F(Window, TabMovesThroughTheFormInItsOrder) {
  // Keys reach the window that has the input focus; without a window manager it must ask.
  gtk_window_present(GTK_WINDOW(window_));
  ASSERT_TRUE(wait_for([&] { return gtk_window_is_active(GTK_WINDOW(window_)); }));
  GtkWidget *order[] = {get_shiny_check_box(controller_),
                        entry(0),
                        entry(1),
                        entry(2),
                        entry(3),
                        entry(4),
                        entry(5),
                        entry(6),
                        entry(7),
                        get_predict_btn_entry(controller_),
                        get_shiny_check_box(controller_)};
  gtk_widget_grab_focus(order[0]);
  GdkWindow *x_window = gtk_widget_get_window(window_);
  for (std::size_t k = 1; k < std::size(order); ++k) {
    ASSERT_TRUE(
        gdk_test_simulate_key(x_window, -1, -1, GDK_KEY_Tab, GdkModifierType(0), GDK_KEY_PRESS));
    ASSERT_TRUE(
        gdk_test_simulate_key(x_window, -1, -1, GDK_KEY_Tab, GdkModifierType(0), GDK_KEY_RELEASE));
    wait_for([&] { return gtk_window_get_focus(GTK_WINDOW(window_)) == order[k]; });
    GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(window_));
    EXPECT_EQ(focus, order[k]) << "after Tab " << k << " the focus is on a "
                               << (focus != nullptr ? G_OBJECT_TYPE_NAME(focus) : "nothing");
  }
}

TEST_F(Window, EnterKeyInAnEntryPressesPredict) {
  gtk_window_present(GTK_WINDOW(window_));
  ASSERT_TRUE(wait_for([&] { return gtk_window_is_active(GTK_WINDOW(window_)); }));
  fill(test_species, "50", ice_ivs);
  gtk_widget_grab_focus(entry(5));
  GdkWindow *x_window = gtk_widget_get_window(window_);
  ASSERT_TRUE(
      gdk_test_simulate_key(x_window, -1, -1, GDK_KEY_Return, GdkModifierType(0), GDK_KEY_PRESS));
  ASSERT_TRUE(
      gdk_test_simulate_key(x_window, -1, -1, GDK_KEY_Return, GdkModifierType(0), GDK_KEY_RELEASE));
  EXPECT_TRUE(wait_for([&] { return labels()[2] == "60k"; })) << labels()[2];
}

// ---- Predict ----

TEST_F(Window, PredictionShowsThreePricesAndTheSummary) {
  predict(test_species, "50", reference_ivs);
  EXPECT_EQ(labels(),
            (std::vector<std::string>{"Hidden Power:  Psychic", intro, "60k", "32k", "87k",
                                      summary_start + "The results are almost perfect.", ""}));
  EXPECT_EQ(view_->shown.window_width, 416);
  EXPECT_TRUE(keeps_width(416));

  // The limited-data message is wider than the default window, which grows to show it.
  predict(test_species, "50", ice_ivs);
  EXPECT_EQ(labels()[5], summary());
  EXPECT_EQ(labels()[5].find("The results are probably not good"), summary_start.size());
  EXPECT_EQ(view_->shown.window_width, 416);
  EXPECT_EQ(settled_width(width_for(416)), width_for(416));
}

TEST_F(Window, EnterInAnyEntryPressesPredict) {
  for (int k = 0; k < 8; ++k) {
    predict("1", "50", ice_ivs);  // not priced: clears the prices
    ASSERT_EQ(labels()[0], not_available);
    fill(test_species, "50", ice_ivs);
    g_signal_emit_by_name(entry(k), "activate");
    pump();
    EXPECT_EQ(labels()[2], "60k") << "entry " << k;
  }
}

TEST_F(Window, HiddenPowerAdditionWidensAndNextPlainResultNarrows) {
  predict(test_species, "50", fire_ivs);
  EXPECT_EQ(labels(), (std::vector<std::string>{"Hidden Power:  Fire", intro, "60k", "32k", "87k",
                                                summary(), fire_addition}));
  EXPECT_EQ(view_->shown.window_width, 709);
  const int wide = width_for(709);
  EXPECT_GE(wide, 709);
  EXPECT_EQ(settled_width(wide), wide);
  int height = 0;
  gtk_window_get_size(GTK_WINDOW(window_), nullptr, &height);
  EXPECT_EQ(height, 405);
  expect_texts_inside();  // the addition's last line included

  predict(test_species, "50", reference_ivs);
  EXPECT_EQ(labels()[0], "Hidden Power:  Psychic");
  EXPECT_EQ(labels()[6], "");
  EXPECT_EQ(view_->shown.window_width, 416);
  EXPECT_EQ(settled_width(416), 416);
}

TEST_F(Window, EveryOtherAnswerAfterAnAdditionEmptiesItAndNarrows) {
  struct answer_case {
    std::string nid, lvl;
    std::vector<std::string> ivs;
    std::string first_line;
  };
  const std::vector<answer_case> cases = {
      {"58", "50", fire_ivs, models_not_loaded},  // priced, but no networks in ./ptp
      {"1", "50", fire_ivs, not_available},
      {test_species, "101", fire_ivs, bad_lvl},
      {test_species, "50", {"31", "33", "31", "30", "31", "30"}, bad_ivs},
      {test_species, "50", {"31", "31", "31", "31", "31", "31"}, "Hidden Power:  Dark"},
      {test_species, "50", reference_ivs, "Hidden Power:  Psychic"},  // a result without one
  };
  for (const answer_case &c : cases) {
    SCOPED_TRACE(c.first_line);
    predict(test_species, "50", fire_ivs);
    ASSERT_EQ(labels()[6], fire_addition);
    const int wide = width_for(709);
    ASSERT_EQ(settled_width(wide), wide);
    predict(c.nid, c.lvl, c.ivs);
    EXPECT_EQ(labels()[0], c.first_line);
    EXPECT_EQ(labels()[6], "");
    EXPECT_EQ(view_->shown.window_width, 416);
    EXPECT_EQ(settled_width(width_for(416)), width_for(416));
    EXPECT_LT(width_for(416), wide);
  }
}

TEST_F(Window, PricesKeepTheirPointInADecimalCommaLocale) {
  // ctest also runs this suite with LC_ALL=de_DE.UTF-8, which gtk_init takes up as the
  // program's does; the locale must then really use a decimal comma.
  const char *all = std::getenv("LC_ALL");
  if (all != nullptr && std::string(all).rfind("de_DE", 0) == 0) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  }
  predict(test_species, "50", fire_ivs);
  EXPECT_EQ(labels()[6], fire_addition);
  EXPECT_EQ(labels()[5], summary());
}

TEST_F(Window, SpecialPriceShowsHiddenPowerAboveTheMessage) {
  predict(test_species, "50", reference_ivs);
  predict(test_species, "50", {"31", "31", "31", "31", "31", "31"});
  EXPECT_EQ(labels(),
            (std::vector<std::string>{"Hidden Power:  Dark",
                                      "The price for an all IVs the same Eevee \nis around 3m", "",
                                      "", "", "", ""}));
  EXPECT_TRUE(keeps_width(416));
}

TEST_F(Window, ModelsThatCannotBeLoadedReplaceThePreviousResult) {
  predict(test_species, "50", reference_ivs);
  ASSERT_EQ(labels()[2], "60k");
  fs::remove("ptp/133_m2.tp");
  predict(test_species, "50", reference_ivs);
  EXPECT_EQ(labels(), (std::vector<std::string>{models_not_loaded, "", "", "", "", "", ""}));
  // The source line says why, in the system's language: the window may grow to hold it.
  EXPECT_EQ(
      source_line().rfind("Eevee (133) · networks in ./ptp\ncannot open ./ptp/133_m2.tp: ", 0), 0U);
  EXPECT_EQ(settled_width(width_for(416)), width_for(416));
}

TEST_F(Window, EmptyFormIsAnUnknownSpecies) {
  gtk_button_clicked(GTK_BUTTON(get_predict_btn_entry(controller_)));
  pump();
  EXPECT_EQ(labels(), (std::vector<std::string>{not_available, "", "", "", "", "", ""}));
}

// ---- Below the form: whose price it is ----

TEST_F(Window, SourceLineNamesTheSpeciesAndWhereItsNetworksAre) {
  predict(test_species, "50", fire_ivs);
  EXPECT_EQ(source_line(), "Eevee (133) · networks in ./ptp");
  predict("58", "50", fire_ivs);  // priced by the table, but no networks: why, below
  EXPECT_EQ(source_line().rfind("Growlithe (58) · networks in ./ptp\n"
                                "cannot open ./ptp/58_m1.tp: ",
                                0),
            0U);
  // Status 2: a hint for a number one could train, nothing for anything else.
  predict("37", "50", fire_ivs);
  EXPECT_EQ(labels()[0], not_available);
  EXPECT_EQ(source_line(),
            "No networks for National ID 37 yet: train them from your sales "
            "(see orvanta-train --help)");
  predict("", "50", fire_ivs);
  EXPECT_EQ(source_line(), "");
}

std::vector<bool> sensitive(const std::vector<GtkWidget *> &widgets) {
  std::vector<bool> states;
  for (GtkWidget *w : widgets) states.push_back(gtk_widget_is_sensitive(w));
  return states;
}

TEST_F(Window, AnEditAfterAResultGreysItUntilTheNextPredict) {
  const std::vector<bool> all(8, true);
  const std::vector<bool> none(8, false);
  predict(test_species, "50", fire_ivs);
  const std::vector<std::string> result = labels();
  const std::string line = source_line();
  ASSERT_EQ(sensitive(result_widgets()), all);

  // A key typed into the Lvl entry, through X.
  gtk_window_present(GTK_WINDOW(window_));
  ASSERT_TRUE(wait_for([&] { return gtk_window_is_active(GTK_WINDOW(window_)); }));
  gtk_widget_grab_focus(entry(1));
  GdkWindow *x_window = gtk_widget_get_window(window_);
  ASSERT_TRUE(
      gdk_test_simulate_key(x_window, -1, -1, GDK_KEY_7, GdkModifierType(0), GDK_KEY_PRESS));
  ASSERT_TRUE(
      gdk_test_simulate_key(x_window, -1, -1, GDK_KEY_7, GdkModifierType(0), GDK_KEY_RELEASE));
  ASSERT_TRUE(
      wait_for([&] { return std::string(gtk_entry_get_text(GTK_ENTRY(entry(1)))) != "50"; }));
  EXPECT_EQ(sensitive(result_widgets()), none);
  EXPECT_EQ(labels(), result);  // the texts stay, to be read
  EXPECT_EQ(source_line(), line);

  gtk_button_clicked(GTK_BUTTON(get_predict_btn_entry(controller_)));
  pump();
  EXPECT_EQ(sensitive(result_widgets()), all);

  toggle_shiny();  // the Shiny box greys the result too
  EXPECT_EQ(sensitive(result_widgets()), none);
  predict(test_species, "50", fire_ivs);
  EXPECT_EQ(sensitive(result_widgets()), all);
}

// ---- Shiny ----

TEST_F(Window, ShinyToggledOnceChangesTheNextPrediction) {
  toggle_shiny();
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(get_shiny_check_box(controller_))));
  EXPECT_EQ(get_is_shiny(model_), 1);
  predict(test_species, "50", ice_ivs);
  EXPECT_EQ(labels()[2], "86k");
  EXPECT_EQ(labels()[3], "32k");
}

TEST_F(Window, ShinyToggledTwiceBetweenPressesLeavesTheFlag) {
  predict(test_species, "50", ice_ivs);
  ASSERT_EQ(labels()[2], "60k");
  toggle_shiny();
  toggle_shiny();
  EXPECT_EQ(get_is_shiny(model_), 0);
  predict(test_species, "50", ice_ivs);
  EXPECT_EQ(labels()[2], "60k");
  toggle_shiny();
  predict(test_species, "50", ice_ivs);
  EXPECT_EQ(labels()[2], "86k");
}

// ---- A larger font ----

// A larger desktop font, as a large-text setting gives, and how much larger the window's
// texts are drawn than at Sans 10 (a little more than the size: hinted glyphs grow faster).
struct large_font {
  const char *font;
  double lowest_scale, highest_scale;
  friend void PrintTo(const large_font &f, std::ostream *out) { *out << f.font; }
};

// The main window built under a larger desktop font.
class LargeFontWindow : public Window, public ::testing::WithParamInterface<large_font> {
 protected:
  void SetUp() override {
    GtkSettings *settings = gtk_settings_get_default();
    gchar *font = nullptr;
    g_object_get(settings, "gtk-font-name", &font, nullptr);
    previous_font_ = font != nullptr ? font : "";
    g_free(font);
    g_object_set(settings, "gtk-font-name", GetParam().font, nullptr);
    Window::SetUp();
  }
  void TearDown() override {
    Window::TearDown();
    g_object_set(gtk_settings_get_default(), "gtk-font-name", previous_font_.c_str(), nullptr);
  }

  // Where the fixed container put `widget`.
  std::pair<int, int> position_of(GtkWidget *widget) const {
    int x = -1;
    int y = -1;
    gtk_container_child_get(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window_))), widget, "x", &x,
                            "y", &y, nullptr);
    return {x, y};
  }

  std::string previous_font_;
};

INSTANTIATE_TEST_SUITE_P(Points, LargeFontWindow,
                         ::testing::Values(large_font{"DejaVu Sans 12", 1.2, 1.3},
                                           large_font{"DejaVu Sans 14", 1.4, 1.5}),
                         [](const ::testing::TestParamInfo<large_font> &info) {
                           return std::string(info.param.font).substr(12);
                         });

TEST_P(LargeFontWindow, PositionsAndSizesGrowWithTheFont) {
  const double scale = font_scale(window_);
  EXPECT_GE(scale, GetParam().lowest_scale);
  EXPECT_LT(scale, GetParam().highest_scale);
  const auto scaled = [&](int x, int y) {
    return std::make_pair(scale_pixels(scale, x), scale_pixels(scale, y));
  };
  int width = 0;
  int height = 0;
  gtk_window_get_default_size(GTK_WINDOW(window_), &width, &height);
  EXPECT_EQ(std::make_pair(width, height), scaled(416, 405));
  EXPECT_EQ(position_of(get_shiny_check_box(controller_)), scaled(91, 18));
  EXPECT_EQ(position_of(get_nid_entry(controller_)), scaled(91, 44));
  EXPECT_EQ(position_of(get_spd_entry(controller_)), scaled(91, 317));
  EXPECT_EQ(position_of(get_predict_btn_entry(controller_)), scaled(150, 317));
  EXPECT_EQ(position_of(get_hidden_power_resume_label(view_)), scaled(392, 53));
  EXPECT_EQ(position_of(get_third_model_label(view_)), scaled(169, 142));
  EXPECT_EQ(position_of(get_model_resume_label(view_)), scaled(149, 170));
  EXPECT_EQ(position_of(get_source_line_label(view_)), scaled(8, 361));

  // Every caption still ends before its input, with its whole text, level with it: their
  // middles meet, or lie half a pixel apart.
  std::unique_ptr<GList, decltype(&g_list_free)> children(
      gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window_)))), g_list_free);
  int captions = 0;
  for (GList *l = children.get(); l != nullptr; l = l->next) {
    if (!GTK_IS_LABEL(l->data)) continue;
    GtkWidget *input = gtk_label_get_mnemonic_widget(GTK_LABEL(l->data));
    if (input == nullptr) continue;
    ++captions;
    GtkAllocation caption_box;
    GtkAllocation input_box;
    gtk_widget_get_allocation(GTK_WIDGET(l->data), &caption_box);
    gtk_widget_get_allocation(input, &input_box);
    SCOPED_TRACE(text_of(GTK_WIDGET(l->data)));
    EXPECT_LT(caption_box.x + caption_box.width, input_box.x);
    int natural = 0;
    gtk_widget_get_preferred_width(GTK_WIDGET(l->data), nullptr, &natural);
    EXPECT_LE(natural, caption_box.width);
    const int twice_apart =
        (2 * caption_box.y + caption_box.height) - (2 * input_box.y + input_box.height);
    EXPECT_GE(twice_apart, 0);
    EXPECT_LE(twice_apart, 1);
  }
  EXPECT_EQ(captions, 9);

  // Each entry shows its longest text whole: no scrolling, however wide its digits.
  for (GtkWidget *e : entries()) {
    gtk_widget_grab_focus(e);
    for (char digit = '0'; digit <= '9'; ++digit) {
      const std::string text(static_cast<std::size_t>(gtk_entry_get_max_length(GTK_ENTRY(e))),
                             digit);
      gtk_entry_set_text(GTK_ENTRY(e), text.c_str());
      gtk_editable_set_position(GTK_EDITABLE(e), -1);
      pump();
      GdkRectangle area;
      gtk_entry_get_text_area(GTK_ENTRY(e), &area);
      PangoRectangle logical;
      pango_layout_get_pixel_extents(gtk_entry_get_layout(GTK_ENTRY(e)), nullptr, &logical);
      int scrolled = -1;
      g_object_get(e, "scroll-offset", &scrolled, nullptr);
      EXPECT_LE(logical.width, area.width) << text;
      EXPECT_LE(logical.height, area.height) << text;
      EXPECT_EQ(scrolled, 0) << text;
    }
  }

  // The Hidden Power addition asks for 709 pixels scaled, and a plain result for 416; the
  // window grows past both to hold every text.
  predict(test_species, "50", fire_ivs);
  EXPECT_EQ(view_->shown.window_width, 709);
  const int wide = width_for(scale_pixels(scale, 709));
  EXPECT_EQ(settled_width(wide), wide);
  expect_texts_inside();
  predict("58", "50", reference_ivs);  // a source line of two lines
  predict(test_species, "50", reference_ivs);
  const int narrow = width_for(scale_pixels(scale, 416));
  EXPECT_EQ(settled_width(narrow), narrow);
  predict("58", "50", reference_ivs);
  EXPECT_NE(source_line().find('\n'), std::string::npos);
  pump();
  expect_texts_inside();
}

// ---- The records ----

TEST(Records, NullArgumentsAreRefusedOrIgnored) {
  app_model model;
  app_view view;
  EXPECT_EQ(create_app_controller(nullptr, &view), nullptr);
  EXPECT_EQ(create_app_controller(&model, nullptr), nullptr);
  std::unique_ptr<app_controller> controller(create_app_controller(&model, &view));
  ASSERT_NE(controller, nullptr);
  EXPECT_EQ(get_controller_model(controller.get()), &model);
  EXPECT_EQ(get_controller_view(controller.get()), &view);
  EXPECT_EQ(get_nid_entry(controller.get()), nullptr);
  EXPECT_EQ(get_nid_entry(nullptr), nullptr);
  EXPECT_EQ(get_hidden_power_label(nullptr), nullptr);

  // A controller never stores null; a view does.
  GtkWidget *label = gtk_label_new("");
  g_object_ref_sink(label);
  set_nid_entry(controller.get(), label);
  set_nid_entry(controller.get(), nullptr);
  EXPECT_EQ(get_nid_entry(controller.get()), label);
  set_controller_view(controller.get(), nullptr);
  EXPECT_EQ(get_controller_view(controller.get()), &view);
  set_hidden_power_label(&view, label);
  set_hidden_power_label(&view, nullptr);
  EXPECT_EQ(get_hidden_power_label(&view), nullptr);
  g_object_unref(label);

  // Handlers and updates ignore a null record; the window is untouched.
  click_shiny(nullptr, nullptr);
  click_predict(nullptr, nullptr);
  update_view(nullptr);
  update_view_not_loaded(nullptr);
  create_gui(nullptr, nullptr);
  create_gui(controller.get(), nullptr);
  EXPECT_EQ(get_shiny_check_box(controller.get()), nullptr);
}

}  // namespace

int main(int argc, char **argv) {
  return run_window_tests(argc, argv);
}
