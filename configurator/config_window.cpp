#include "configurator/config_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_ask.H>

#include <cstdio>
#include <cstring>
#include <memory>

#include "configurator/config_icon.xpm"
#include "configurator/config_loader.h"
#include "configurator/game_launcher.h"

namespace {

// The form is laid out in twips; the screen has 15 twips to the pixel.
constexpr int kTwipsPerPixel = 15;

struct Place {
  int left, top, width, height;  // twips
};

// Free stand-ins for the form's Windows faces: Liberation Sans has Arial's
// metrics; DejaVu Sans is a small sans close to MS Sans Serif. Sizes are in
// pixels at 96 dots per inch.
constexpr Fl_Font kArial = FL_FREE_FONT;
constexpr Fl_Font kArialBold = FL_FREE_FONT + 1;
constexpr Fl_Font kSmallSans = FL_FREE_FONT + 2;
constexpr Fl_Fontsize kArialSize = 13;       // 9.75 pt, the form's own font
constexpr Fl_Fontsize kLaunchSize = 16;      // 12 pt
constexpr Fl_Fontsize kSmallSansSize = 11;   // 8.25 pt

constexpr double kRefreshSeconds = kRefreshIntervalMs / 1000.0;

void load_fonts() {
  // A leading blank asks for the regular face, a 'B' for the bold one.
  Fl::set_font(kArial, " Liberation Sans");
  Fl::set_font(kArialBold, "BLiberation Sans");
  Fl::set_font(kSmallSans, " DejaVu Sans");
}

template <class W>
W* place(W* widget, Place at, Fl_Font font = kArial, Fl_Fontsize size = kArialSize) {
  widget->resize(at.left / kTwipsPerPixel, at.top / kTwipsPerPixel, at.width / kTwipsPerPixel,
                 at.height / kTwipsPerPixel);
  widget->labelfont(font);
  widget->labelsize(size);
  return widget;
}

// Menu texts are parsed for submenus and shortcuts; this shows them as
// written ("TCP/IP" stays one entry).
std::string menu_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '/' || c == '\\' || c == '_') out += '\\';
    if (c == '&') out += '&';
    out += c;
  }
  return out;
}

// A command button that a focused Enter presses, as on the desktop the
// dialog comes from; the toolkit's own buttons take only the space bar.
class CommandButton : public Fl_Button {
 public:
  explicit CommandButton(const char* caption) : Fl_Button(0, 0, 0, 0, caption) {}
  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::focus() == this &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

// A text box that refuses the double quote as it is typed, as it refuses
// characters beyond its limit; pasted quotes are taken out by the form.
class TextBox : public Fl_Input {
 public:
  TextBox() : Fl_Input(0, 0, 0, 0) {}
  int handle(int event) override {
    if (event == FL_KEYBOARD && std::strchr(Fl::event_text(), kRefusedCharacter) != nullptr)
      return 1;
    return Fl_Input::handle(event);
  }
};

class ConfigWindow final : public DialogServices {
 public:
  ConfigWindow();
  int run();

  void message_box(std::string_view text, std::string_view title, MessageIcon icon) override;
  std::string start_game() override { return start_game_program(); }

 private:
  void build();
  void pull();
  void push();
  void act(FormAction action);
  static void tick(void* self);

  template <void (ConfigWindow::*handler)()>
  static void forward(Fl_Widget*, void* self) {
    (static_cast<ConfigWindow*>(self)->*handler)();
  }
  void on_change() { pull(); }
  void on_random() { pull(); RandomButton_Click(form_); push(); }
  void on_about() { pull(); AboutButton_Click(form_, *this); push(); }
  void on_done() { pull(); act(DoneButton_Click(form_, *this)); }
  void on_launch() { pull(); act(LaunchButton_Click(form_, *this)); }
  void on_close();

  ConfigMain form_;
  int exit_status_ = 0;
  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Pixmap icon_pixmap_{config_icon_xpm};
  Fl_RGB_Image icon_{&icon_pixmap_, FL_GRAY};
  Fl_Choice* resolution_box_ = nullptr;
  Fl_Check_Button* dsound_check_ = nullptr;
  Fl_Check_Button* dmusic_check_ = nullptr;
  Fl_Check_Button* particles_check_ = nullptr;
  TextBox* name_box_ = nullptr;
  Fl_Round_Button* option1_ = nullptr;
  Fl_Round_Button* option2_ = nullptr;
  Fl_Choice* network_box_ = nullptr;
  TextBox* ip_box_ = nullptr;
  Fl_Box* ip_text_ = nullptr;
};

ConfigWindow::ConfigWindow() {
  load_fonts();
  Fl::scheme("gtk+");
  Fl::background(212, 208, 200);
  fl_close = "OK";
  fl_message_font(kArial, kArialSize);
  build();
  Form_Load(form_);
  // The settings saved last, where the file holds them in a usable form;
  // what it could not give is said on standard error.
  for (const std::string& note : load_saved_config(form_))
    std::fprintf(stderr, "Morvane Configuration: %s\n", note.c_str());
  push();
}

// The controls are made in tab order, which is the order the Tab key walks.
void ConfigWindow::build() {
  window_ = std::make_unique<Fl_Double_Window>(4995 / kTwipsPerPixel, 3930 / kTwipsPerPixel,
                                               "Morvane Configuration");
  window_->labelfont(kArial);
  window_->callback(forward<&ConfigWindow::on_close>, this);
  window_->icon(&icon_);

  auto* done = place(new CommandButton("Done"), {3360, 3480, 1575, 375}, kSmallSans, kSmallSansSize);
  done->callback(forward<&ConfigWindow::on_done>, this);

  auto* label1 = place(new Fl_Box(0, 0, 0, 0, "Screen resolution:"), {120, 120, 1815, 255});
  label1->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);

  resolution_box_ = place(new Fl_Choice(0, 0, 0, 0), {2280, 120, 2655, 315}, kSmallSans, kSmallSansSize);
  resolution_box_->textfont(kSmallSans);
  resolution_box_->textsize(kSmallSansSize);

  auto* about = place(new CommandButton("About"), {120, 3480, 1455, 375}, kSmallSans, kSmallSansSize);
  about->callback(forward<&ConfigWindow::on_about>, this);

  dsound_check_ = place(new Fl_Check_Button(0, 0, 0, 0, "Use DirectSound"), {120, 600, 2175, 255});
  dmusic_check_ = place(new Fl_Check_Button(0, 0, 0, 0, "Use DirectMusic"), {120, 960, 2175, 375});
  particles_check_ = place(new Fl_Check_Button(0, 0, 0, 0, "Use Particles"), {2520, 600, 2415, 255});

  auto* label2 = place(new Fl_Box(0, 0, 0, 0, "Player Name:"), {120, 1440, 1455, 375});
  label2->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);

  name_box_ = place(new TextBox, {1680, 1440, 3255, 360});
  name_box_->maximum_size(static_cast<int>(kNameBoxMaxLength));

  auto* random = place(new CommandButton("Random Name"), {3120, 960, 1815, 375});
  random->callback(forward<&ConfigWindow::on_random>, this);

  option1_ = place(new Fl_Round_Button(0, 0, 0, 0, "Create Game"), {120, 1920, 1455, 375});
  option2_ = place(new Fl_Round_Button(0, 0, 0, 0, "Join Game"), {120, 2280, 1455, 375});
  option1_->type(FL_RADIO_BUTTON);
  option2_->type(FL_RADIO_BUTTON);

  network_box_ = place(new Fl_Choice(0, 0, 0, 0), {1680, 1920, 3255, 360});

  ip_box_ = place(new TextBox, {3120, 2400, 1815, 375});
  ip_box_->maximum_size(static_cast<int>(kIPBoxMaxLength));
  ip_text_ = place(new Fl_Box(0, 0, 0, 0, "IP Address"), {1680, 2400, 1335, 375});
  ip_text_->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);

  auto* launch = place(new CommandButton("Launch Morvane"), {120, 2880, 4815, 495}, kArialBold, kLaunchSize);
  launch->callback(forward<&ConfigWindow::on_launch>, this);

  for (Fl_Widget* control : std::initializer_list<Fl_Widget*>{
           resolution_box_, dsound_check_, dmusic_check_, particles_check_, option1_, option2_,
           network_box_})
    control->callback(forward<&ConfigWindow::on_change>, this);
  for (Fl_Input* box : {name_box_, ip_box_}) {
    box->textfont(kArial);
    box->textsize(kArialSize);
    box->when(FL_WHEN_CHANGED);
    box->callback(forward<&ConfigWindow::on_change>, this);
  }
  network_box_->textfont(kArial);
  network_box_->textsize(kArialSize);
  window_->end();
}

// Widgets to form: what the player changed.
void ConfigWindow::pull() {
  form_.ResolutionBox.selected = resolution_box_->value();
  form_.NetworkBox.selected = network_box_->value();
  form_.DSoundCheck = dsound_check_->value() != 0;
  form_.DMusicCheck = dmusic_check_->value() != 0;
  form_.ParticlesCheck = particles_check_->value() != 0;
  form_.Option1.selected = option1_->value() != 0;
  form_.Option2.selected = option2_->value() != 0;
  type_text(form_.NameBox, name_box_->value());
  type_text(form_.IPBox, ip_box_->value());
}

void show_list(Fl_Choice* choice, const ListControl& list) {
  if (choice->size() - 1 != static_cast<int>(list.rows.size())) {
    choice->clear();
    for (const std::string& row : list.rows) choice->add(menu_text(row).c_str());
  }
  if (choice->value() != list.selected) choice->value(list.selected);
}

void show_text(Fl_Input* input, const TextControl& box) {
  if (box.text != input->value()) input->value(box.text.c_str());
  box.visible ? input->show() : input->hide();
}

// Setting a button, even to the value it has, ends a press in progress: a
// box held down while the pointer moves would flip again on release.
void show_check(Fl_Check_Button* box, bool ticked) {
  if ((box->value() != 0) != ticked) box->value(ticked ? 1 : 0);
}

void show_option(Fl_Round_Button* button, const OptionControl& option) {
  if ((button->value() != 0) != option.selected) button->value(option.selected ? 1 : 0);
  option.enabled ? button->activate() : button->deactivate();
}

// Form to widgets: what the handlers changed. Only differences are written,
// so the text cursor stays where the player left it.
void ConfigWindow::push() {
  show_list(resolution_box_, form_.ResolutionBox);
  show_list(network_box_, form_.NetworkBox);
  show_check(dsound_check_, form_.DSoundCheck);
  show_check(dmusic_check_, form_.DMusicCheck);
  show_check(particles_check_, form_.ParticlesCheck);
  show_option(option1_, form_.Option1);
  show_option(option2_, form_.Option2);
  show_text(name_box_, form_.NameBox);
  show_text(ip_box_, form_.IPBox);
  form_.IPText_visible ? ip_text_->show() : ip_text_->hide();
}

void ConfigWindow::act(FormAction action) {
  push();
  if (action == FormAction::stay_open) return;
  exit_status_ = action == FormAction::end_with_error ? 1 : 0;
  window_->hide();
}

// The close box ends the program without saving. Escape, which the toolkit
// also sends here, does not: the dialog has no cancel button.
void ConfigWindow::on_close() {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  exit_status_ = 0;
  window_->hide();
}

void ConfigWindow::tick(void* self) {
  auto* dialog = static_cast<ConfigWindow*>(self);
  dialog->pull();
  RefreshTimer_Timer(dialog->form_);
  dialog->push();
  reap_game_programs();
  Fl::repeat_timeout(kRefreshSeconds, tick, self);
}

void ConfigWindow::message_box(std::string_view text, std::string_view title, MessageIcon icon) {
  std::string title_text(title);
  std::string body(text);
  fl_message_title(title_text.c_str());
  Fl_Widget* mark = fl_message_icon();
  mark->labelfont(FL_HELVETICA_BOLD);
  switch (icon) {
    case MessageIcon::information:
      mark->color(FL_WHITE);
      mark->labelcolor(fl_rgb_color(0, 0, 192));
      fl_message("%s", body.c_str());
      break;
    case MessageIcon::exclamation:
      mark->color(fl_rgb_color(255, 224, 0));
      mark->labelcolor(FL_BLACK);
      fl_alert("%s", body.c_str());
      break;
    case MessageIcon::critical:
      mark->color(fl_rgb_color(208, 0, 0));
      mark->labelcolor(FL_WHITE);
      fl_alert("%s", body.c_str());
      break;
  }
}

int ConfigWindow::run() {
  window_->show();
  Fl::add_timeout(kRefreshSeconds, tick, this);
  Fl::run();
  Fl::remove_timeout(tick, this);
  return exit_status_;
}

}  // namespace

int run_config_dialog() {
  ConfigWindow dialog;
  return dialog.run();
}
