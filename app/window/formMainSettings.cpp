// The settings table: every value the window keeps under Software\QSoft\QSRedorodo,
// how it is stored, what it is bound to and how it applies at start-up. Start-up reads
// the rows in table order; one writer stores a row's current value, connected to every
// bound control's change, so each click, selection and keystroke is stored at once.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QWindow>
#include <climits>
#include <limits>
#include <stdexcept>
#include <variant>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "settings/settingsStore.h"
#include "time/timeZoneCatalogue.h"
#include "window/formMain.h"
#include "window/qtConvert.h"
#include "window/windowPlacement.h"

using settings_store::Form;
using VIDodadaZadoVove::LOGFONTA;
using VIDodadaZadoVove::Variant;

namespace {

// How a stored value applies at start-up.
enum class Rule {
  Member,                // kept in the member; the clocks' set-up applies it with its font
  GridHeight,            // the event grid's height
  Text,                  // the edit box's text
  SelectOrNone,          // the entry with that text, letter case aside, or no entry
  SelectZone,            // the entry with that text when there is one, and its offset
  Index,                 // the entry at that position when there is one
  Box,                   // the box's checked state, true or false
  CheckThenClick,        // only when true: check the box, then run its click handler if any
  ClickWhenTrue,         // only when true: run the menu item's click handler
  MemberClickWhenFalse,  // into the member; only when false, run the item's click handler
  Geometry,              // the window's position or size; read when it is shown
};

// A clock display flag: its member, and the "Don't show" item whose check mark is its negation.
struct ShownFlag {
  bool TfrmMain::*member;
  QAction* TfrmMain::*item;
};
enum class WindowPart { GridHeight, Left, Top, Height, Width };

using Bound =
    std::variant<QCheckBox * TfrmMain::*, QLineEdit * TfrmMain::*, QComboBox * TfrmMain::*,
                 QAction * TfrmMain::*, ShownFlag, std::unique_ptr<LOGFONTA> TfrmMain::*,
                 std::uint32_t TfrmMain::*, WindowPart>;

struct SettingRow {
  const char* name;
  Form form;
  Bound bound;
  Rule rule;
  // The handler the rule runs; none for boxes whose whole work is storing their value.
  void (TfrmMain::*click)() = nullptr;
};

using W = TfrmMain;

// The table, in the order start-up reads it. Besides the values the window's own handlers
// need, it stores those of the time synchronisation: AutoTimeSynch on every change of
// chkAutoTimeSynch, and AutoSynchTimeNTPServer on every change of cboSNTPServer's selection
// to an entry other than "OTHER" (picked by the user or selected by a handler after adding
// a server); their handlers need not write them. No selection and "OTHER" store nothing.
// The fonts and colours are written by the clocks' dialogs, the grid height and the
// geometry at close, all through WriteSetting.
const SettingRow kSettings[] = {
    {"NotifyFont", Form::Font, &W::lfVirtualFont_m, Rule::Member},
    {"NotifyFontColor", Form::Integer, &W::iVirtualFontColor_m, Rule::Member},
    {"NotifyBackgroundColor", Form::Integer, &W::iVirtualBackColor_m, Rule::Member},
    {"NotifyLocalFont", Form::Font, &W::lfLocalFont_m, Rule::Member},
    {"NotifyLocalFontColor", Form::Integer, &W::iLocalFontColor_m, Rule::Member},
    {"NotifyLocalBackgroundColor", Form::Integer, &W::iLocalBackColor_m, Rule::Member},
    {"grdEventsHeight", Form::Integer, WindowPart::GridHeight, Rule::GridHeight},
    {"AutoSynchTimeNTPServer", Form::Text, &W::cboSNTPServer, Rule::SelectOrNone},
    {"HideEvents", Form::Flag, &W::pmnuiHideEvents, Rule::ClickWhenTrue, &W::pmnuiHideEventsClick},
    {"HideSettings", Form::Flag, &W::pmnuiHideSettings, Rule::ClickWhenTrue,
     &W::pmnuiHideSettingsClick},
    {"TRAYICON", Form::Flag, &W::chkRunAsTrayIcon, Rule::Box},
    {"RunOnTop", Form::Flag, &W::chkStayOnTop, Rule::Box},
    {"VirtualTZ", Form::Text, &W::cboVirtualTimeZone, Rule::SelectZone},
    {"AutoTimeSynch", Form::Flag, &W::chkAutoTimeSynch, Rule::CheckThenClick,
     &W::chkAutoTimeSynchClick},
    {"EnableSounds", Form::Flag, &W::chkEnableSound, Rule::CheckThenClick},
    {"DefaultSound", Form::Text, &W::edtSoundFile, Rule::Text},
    {"EnableMSM", Form::Flag, &W::chkEnableMSM, Rule::CheckThenClick},
    {"MSMHost", Form::Text, &W::edtMSMHost, Rule::Text},
    {"MSMFrom", Form::Text, &W::edtFromMSM, Rule::Text},
    {"MSMPort", Form::Text, &W::edtMSMPort, Rule::Text},
    {"MSMPassword", Form::Text, &W::edtFromMSMPwd, Rule::Text},
    {"MSMTo", Form::Text, &W::edtToMSM, Rule::Text},
    {"UpdateURL", Form::Text, &W::edtUpdateURL, Rule::Text},
    {"ProxyServer", Form::Text, &W::edtProxyServer, Rule::Text},
    {"ProxyPort", Form::Text, &W::edtProxyPort, Rule::Text},
    {"EnableEmail", Form::Flag, &W::chkEnableEmail, Rule::CheckThenClick},
    {"EmailSMTP", Form::Text, &W::SMTPServer, Rule::Text},
    {"EmailSMTPPort", Form::Text, &W::SMTPPort, Rule::Text},
    {"EmailFrom", Form::Text, &W::edtEmailFrom, Rule::Text},
    {"EmailSubject", Form::Text, &W::edtEmailSubject, Rule::Text},
    {"EmailTo", Form::Text, &W::edtEmailTo, Rule::Text},
    {"EmailSecurity", Form::Integer, &W::cboEmailSecurity, Rule::Index},
    {"EmailUser", Form::Text, &W::edtEmailUser, Rule::Text},
    {"EmailPassword", Form::Text, &W::edtEmailPassword, Rule::Text},
    {"EbayLogin", Form::Text, &W::edtEbayLoginID, Rule::Text},
    {"EbayPassword", Form::Text, &W::edtEbayPassword, Rule::Text},
    {"UseVirtualMilitary", Form::Flag,
     ShownFlag{&W::bUseVirtualMilitary_m, &W::pmnuiVirtualMilitary}, Rule::MemberClickWhenFalse,
     &W::pmnuiVirtualMilitaryClick},
    {"UseLocalMilitary", Form::Flag, ShownFlag{&W::bUseLocalMilitary_m, &W::pmnuiLocalMilitary},
     Rule::MemberClickWhenFalse, &W::pmnuiLocalMilitaryClick},
    {"ShowVirtualTZName", Form::Flag, ShownFlag{&W::bShowVirtualTZName_m, &W::pmnuiVirtualTZName},
     Rule::MemberClickWhenFalse, &W::pmnuiVirtualTZNameClick},
    {"ShowLocalTZName", Form::Flag, ShownFlag{&W::bShowLocalTZName_m, &W::pmnuiLocalTZName},
     Rule::MemberClickWhenFalse, &W::pmnuiLocalTZNameClick},
    {"StartAtLogin", Form::Flag, &W::chkStartAtLogin, Rule::Box},
    {"EnableCustomApp", Form::Flag, &W::chkEnableCustomApp, Rule::Box},
    {"CustomApp", Form::Text, &W::edtLaunchApp, Rule::Text},
    {"DesktopNotifications", Form::Integer, &W::cboDesktopNotifications, Rule::Index},
    {"SnoozeMinutes", Form::Integer, &W::edtSnoozeMinutes, Rule::Text},
    {"Left", Form::Integer, WindowPart::Left, Rule::Geometry},
    {"Top", Form::Integer, WindowPart::Top, Rule::Geometry},
    {"Height", Form::Integer, WindowPart::Height, Rule::Geometry},
    {"Width", Form::Integer, WindowPart::Width, Rule::Geometry},
};

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
// C++20 deduces this by itself, but clang before 17 still needs the guide.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::size_t IndexOfRow(const std::string& name) {
  for (std::size_t i = 0; i < std::size(kSettings); ++i) {
    if (name == kSettings[i].name) {
      return i;
    }
  }
  throw std::logic_error("no setting named " + name);
}

std::vector<std::string> Entries(const QComboBox& box) {
  std::vector<std::string> entries;
  entries.reserve(static_cast<std::size_t>(box.count()));
  for (int i = 0; i < box.count(); ++i) {
    entries.push_back(FromQ(box.itemText(i)));
  }
  return entries;
}

// The event grid fills its panel inside the panel's frame.
int GridFrame(const TfrmMain& w) {
  return 2 * w.panEvents->frameWidth();
}

// The screen area the window is on, or the one holding the point when there is one.
QRect ScreenArea(const TfrmMain& w, const QPoint* at = nullptr) {
  const QScreen* screen = at != nullptr ? QGuiApplication::screenAt(*at) : nullptr;
  if (screen == nullptr) {
    screen = w.screen() != nullptr ? w.screen() : QGuiApplication::primaryScreen();
  }
  return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void SetGridHeight(TfrmMain& w, int height) {
  if (height <= 0) {
    return;
  }
  // A grid taller than the screen could never be seen whole; the limit also keeps the
  // sum below defined for any stored number.
  height = std::min(height, ScreenArea(w).height());
  // The clocks take what is left: they are the splitter's stretching part. The events
  // panel keeps the height as its "ShownHeight" too, for when it starts hidden.
  const int events = height + GridFrame(w);
  w.spltTop->setSizes({w.panTop->minimumHeight(), events});
  w.panEvents->setProperty("ShownHeight", events);
}

// A hidden grid has no laid-out height: its panel's kept height stands for it.
int GridHeight(const TfrmMain& w) {
  const QVariant kept = w.panEvents->property("ShownHeight");
  if (w.panEvents->isHidden() && kept.isValid()) {
    return kept.toInt() - GridFrame(w);
  }
  return w.grdEvents->height();
}

// The window's place and size as the settings give them, gathered row by row and applied
// together once all four are read: one at a time, each would be fitted against the others'
// old values.
struct StoredPlacement {
  window_placement::Box box;
  bool any = false;

  explicit StoredPlacement(const TfrmMain& w) {
    const QRect now = w.geometry();
    box = {now.x(), now.y(), now.width(), now.height()};
  }
  void Take(WindowPart part, std::int32_t value) {
    any = true;
    switch (part) {
      case WindowPart::Left:
        box.left = value;
        break;
      case WindowPart::Top:
        box.top = value;
        break;
      case WindowPart::Height:
        box.height = value;
        break;
      case WindowPart::Width:
        box.width = value;
        break;
      case WindowPart::GridHeight:
        break;
    }
  }
};

// Left, Top, Width and Height are the client area's, stored and applied alike: the frame
// the window manager adds is not known before the window is first mapped, so a position
// that included it would move the window by the frame at every start.
void PlaceWindow(TfrmMain& w, const window_placement::Box& stored) {
  using window_placement::Clamp;
  const QPoint centre(Clamp(stored.left + stored.width / 2, INT_MIN / 2, INT_MAX / 2),
                      Clamp(stored.top + stored.height / 2, INT_MIN / 2, INT_MAX / 2));
  const QRect area = ScreenArea(w, &centre);
  // Asked of the window system each time: the widget's own copy can lag the frame.
  const QMargins margins =
      w.windowHandle() != nullptr ? w.windowHandle()->frameMargins() : QMargins();
  // Before the window is first framed the frame is unknown: a title bar is assumed.
  const window_placement::Frame frame = window_placement::AssumedFrame(
      {margins.left(), margins.top(), margins.right(), margins.bottom()},
      w.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &w));
  const QSize minimum = w.minimumSize().expandedTo(w.minimumSizeHint());
  const window_placement::Box fitted =
      window_placement::FitInto(stored, {area.x(), area.y(), area.width(), area.height()},
                                {minimum.width(), minimum.height()}, frame);
  w.setGeometry(static_cast<int>(fitted.left), static_cast<int>(fitted.top),
                static_cast<int>(fitted.width), static_cast<int>(fitted.height));
}

int CurrentGeometry(const TfrmMain& w, WindowPart part) {
  switch (part) {
    case WindowPart::GridHeight:
      return GridHeight(w);
    case WindowPart::Left:
      return w.geometry().x();
    case WindowPart::Top:
      return w.geometry().y();
    case WindowPart::Height:
      return w.height();
    case WindowPart::Width:
      return w.width();
  }
  return 0;
}

void Apply(TfrmMain& w, const SettingRow& row, const Variant& value) {
  switch (row.rule) {
    case Rule::Member:
      w.*std::get<std::uint32_t TfrmMain::*>(row.bound) = static_cast<std::uint32_t>(value.AsInt());
      break;
    case Rule::GridHeight:
      SetGridHeight(w, value.AsInt());
      break;
    case Rule::Geometry:
      break;  // gathered and placed by LoadSettings
    case Rule::Text: {
      // A stored text is shown whole, however long (an edit keeps 32,767 characters by default).
      QLineEdit* edit = w.*std::get<QLineEdit * TfrmMain::*>(row.bound);
      edit->setMaxLength(std::numeric_limits<int>::max());
      edit->setText(row.form == Form::Integer ? QString::number(value.AsInt())
                                              : ToQ(value.AsString()));
      break;
    }
    case Rule::SelectOrNone: {
      QComboBox* box = w.*std::get<QComboBox * TfrmMain::*>(row.bound);
      box->setCurrentIndex(settings_store::IndexOfText(Entries(*box), value.AsString()));
      break;
    }
    case Rule::SelectZone: {
      QComboBox* box = w.*std::get<QComboBox * TfrmMain::*>(row.bound);
      const int index = settings_store::IndexOfText(Entries(*box), value.AsString());
      if (index >= 0) {
        box->setCurrentIndex(index);
        w.dVirtualTZOffset_m = w.mapTimeZones_m[FromQ(box->itemText(index))];
      }
      break;
    }
    case Rule::Index: {
      QComboBox* box = w.*std::get<QComboBox * TfrmMain::*>(row.bound);
      if (value.AsInt() >= 0 && value.AsInt() < box->count()) {
        box->setCurrentIndex(value.AsInt());
      }
      break;
    }
    case Rule::Box:
      (w.*std::get<QCheckBox * TfrmMain::*>(row.bound))->setChecked(value.AsBool());
      break;
    case Rule::CheckThenClick:
      if (value.AsBool()) {
        (w.*std::get<QCheckBox * TfrmMain::*>(row.bound))->setChecked(true);
        if (row.click != nullptr) {
          (w.*row.click)();
        }
      }
      break;
    case Rule::ClickWhenTrue:
      if (value.AsBool()) {
        (w.*row.click)();
      }
      break;
    case Rule::MemberClickWhenFalse:
      w.*std::get<ShownFlag>(row.bound).member = value.AsBool();
      if (!value.AsBool()) {
        (w.*row.click)();
      }
      break;
  }
}

// The row's current value, or nothing when there is nothing to store: no font yet, no
// selection, or "OTHER", which starts a dialogue rather than naming an entry.
std::optional<Variant> Current(const TfrmMain& w, const SettingRow& row) {
  return std::visit(
      Overloaded{
          [&](QCheckBox* TfrmMain::*box) -> std::optional<Variant> {
            return Variant((w.*box)->isChecked());
          },
          [&](QLineEdit* TfrmMain::*edit) -> std::optional<Variant> {
            if (row.form == Form::Integer) {
              // A number half typed, or none, is not stored.
              std::int32_t number = 0;
              if (!Platform::TryStrToInt(FromQ((w.*edit)->text()), number)) {
                return std::nullopt;
              }
              return Variant(number);
            }
            return Variant(FromQ((w.*edit)->text()));
          },
          [&](QComboBox* TfrmMain::*combo) -> std::optional<Variant> {
            const QComboBox* box = w.*combo;
            if (row.form == Form::Integer && box->currentIndex() >= 0) {
              return Variant(static_cast<std::int32_t>(box->currentIndex()));
            }
            if (box->currentIndex() < 0 || box->currentText() == time_zones::kOtherName) {
              return std::nullopt;
            }
            return Variant(FromQ(box->currentText()));
          },
          [&](QAction* TfrmMain::*item) -> std::optional<Variant> {
            return Variant((w.*item)->isChecked());
          },
          [&](ShownFlag flag) -> std::optional<Variant> {
            return Variant(!(w.*flag.item)->isChecked());
          },
          [&](std::unique_ptr<LOGFONTA> TfrmMain::*) -> std::optional<Variant> {
            return std::nullopt;  // fonts go through their own writer
          },
          [&](std::uint32_t TfrmMain::*colour) -> std::optional<Variant> {
            return Variant(static_cast<std::int32_t>(w.*colour));
          },
          [&](WindowPart part) -> std::optional<Variant> {
            return Variant(static_cast<std::int32_t>(CurrentGeometry(w, part)));
          },
      },
      row.bound);
}

void Write(const TfrmMain& w, const SettingRow& row) {
  if (row.form == Form::Font) {
    const auto& font = w.*std::get<std::unique_ptr<LOGFONTA> TfrmMain::*>(row.bound);
    if (font) {
      settings_store::WriteFont(row.name, *font);
    }
    return;
  }
  if (const std::optional<Variant> value = Current(w, row)) {
    settings_store::Write(row.name, *value);
  }
}

}  // namespace

// The window whose stored values are being applied. A control shows a stored text as Qt
// can (bytes that are not UTF-8 become U+FFFD), so writing its text back while applying
// would change the stored text without anyone touching it; texts are not stored meanwhile.
// Flags and numbers are still stored as their controls took them.
static const TfrmMain* applyingStored = nullptr;

void TfrmMain::LoadSettings(const std::string& first, const std::string& last) {
  struct Applying {
    const TfrmMain* previous;
    explicit Applying(const TfrmMain* w) : previous(applyingStored) { applyingStored = w; }
    ~Applying() { applyingStored = previous; }
  } applying(this);
  const std::size_t end = IndexOfRow(last);
  StoredPlacement placement(*this);
  for (std::size_t i = IndexOfRow(first); i <= end; ++i) {
    const SettingRow& row = kSettings[i];
    if (row.rule == Rule::Geometry) {
      if (const std::optional<Variant> value = settings_store::Read(row.name, row.form)) {
        placement.Take(std::get<WindowPart>(row.bound), value->AsInt());
      }
      continue;
    }
    if (row.form == Form::Font) {
      // A font absent from the store leaves the member empty: the label keeps its own.
      (this->*std::get<std::unique_ptr<LOGFONTA> TfrmMain::*>(row.bound)) =
          settings_store::ReadFont(row.name);
      continue;
    }
    if (const std::optional<Variant> value = settings_store::Read(row.name, row.form)) {
      Apply(*this, row, *value);
    }
  }
  if (placement.any) {
    PlaceWindow(*this, placement.box);
  }
}

void TfrmMain::WriteSetting(const std::string& name) {
  Write(*this, kSettings[IndexOfRow(name)]);
}

void TfrmMain::ConnectSettings() {
  for (const SettingRow& row : kSettings) {
    const auto store = [this, &row] {
      if (applyingStored == this && row.form == Form::Text) {
        return;
      }
      try {
        Write(*this, row);
      } catch (const std::exception& e) {
        dialogs_.ShowException(e);
      }
    };
    std::visit(
        Overloaded{
            [&](QCheckBox* TfrmMain::*box) {
              connect(this->*box, &QCheckBox::toggled, this, store);
            },
            [&](QLineEdit* TfrmMain::*edit) {
              connect(this->*edit, &QLineEdit::textChanged, this, store);
            },
            [&](QComboBox* TfrmMain::*combo) {
              connect(this->*combo, &QComboBox::currentTextChanged, this, store);
            },
            [&](QAction* TfrmMain::*item) { connect(this->*item, &QAction::toggled, this, store); },
            [&](ShownFlag flag) { connect(this->*flag.item, &QAction::toggled, this, store); },
            [](auto) {},  // members: written by the dialogs and at close
        },
        row.bound);
  }
}
