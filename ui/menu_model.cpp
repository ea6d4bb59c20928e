#include "ui/menu_model.h"

#include "ui/text.h"

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

namespace {

MenuItem separator() {
  MenuItem m;
  m.kind = MenuKind::Separator;
  return m;
}

MenuItem command(const char* text, Command cmd, int icon, MenuStyle style = MenuStyle::Plain) {
  MenuItem m;
  m.kind = MenuKind::Command;
  m.text = tr(text);
  m.command = cmd;
  m.icon = icon;
  m.style = style;
  m.selectable = true;
  return m;
}

}  // namespace

std::vector<MenuItem> trayMenuItems(const MenuState& s) {
  std::vector<MenuItem> items;

  MenuItem header;
  header.kind = MenuKind::Header;
  header.text = "Quillar";
  header.secondary = QUILLAR_VERSION;
  items.push_back(header);

  const bool hidden = s.smartPauseHides && !s.paused;
  MenuItem status;
  status.kind = MenuKind::Status;
  status.text = tr(s.paused ? "Сніг на паузі" : hidden ? "Сніг сховано" : "Йде сніг");
  status.checked = !s.paused && !hidden;  // it snows
  items.push_back(status);

  MenuItem pause = command(s.paused ? "Увімкнути сніг" : "Пауза", Command::TogglePause, 10, MenuStyle::Switch);
  pause.secondary = tr("Ctrl+Alt+D");
  pause.checked = !s.paused;  // the switch is on while it snows
  items.push_back(pause);
  if (hidden) items.push_back(command("Все одно показати сніг", Command::ShowAnyway, 2));

  items.push_back(separator());
  const char* const levels[] = {"Легкий сніжок", "Рівномірний снігопад", "Хуртовина"};
  for (int i = 0; i < 3; ++i) {
    MenuItem level = command(levels[i], static_cast<Command>(static_cast<int>(Command::LightSnow) + i), -1, MenuStyle::Radio);
    level.checked = s.weather == i;
    items.push_back(level);
  }

  items.push_back(separator());
  items.push_back(command("Покликати Санту зараз", Command::CallSanta, 4));
  items.push_back(command("Феєрверк зараз", Command::Fireworks, 3));
  if (!s.updateVersion.empty()) {
    MenuItem update = command("", Command::UpdateInstallAndShow, 10, MenuStyle::Highlighted);
    update.text = trFormat("Оновити до %@", s.updateVersion);
    items.push_back(update);
  }

  items.push_back(separator());
  items.push_back(command("Відкрити Quillar…", Command::OpenSettings, 5, MenuStyle::Highlighted));
  MenuItem contact = command("Зв’язатися з нами", Command::Contact, 6);
  contact.text += "…";
  items.push_back(contact);

  items.push_back(separator());
  items.push_back(command("Журнал для розробника…", Command::OpenLog, 11));
  items.push_back(command("Вийти з Quillar", Command::Quit, 7, MenuStyle::Quit));
  return items;
}

std::vector<ClassicEntry> classicMenuEntries(const std::vector<MenuItem>& items) {
  std::vector<ClassicEntry> out;
  for (const MenuItem& m : items) {
    ClassicEntry e;
    e.text = m.text;
    switch (m.kind) {
      case MenuKind::Header:
        if (!m.secondary.empty()) e.text += " " + m.secondary;
        e.grayed = true;
        out.push_back(e);
        out.push_back(ClassicEntry{true, {}, Command::None, false, false});
        continue;
      case MenuKind::Status:
        e.grayed = true;
        break;
      case MenuKind::Separator:
        // Never two in a row, and none straight under the title's own.
        if (out.empty() || out.back().separator) continue;
        e = ClassicEntry{true, {}, Command::None, false, false};
        break;
      case MenuKind::Command:
        if (!m.secondary.empty()) e.text += "\t" + m.secondary;
        e.command = m.command;
        e.grayed = !m.selectable;
        e.radioChecked = m.style == MenuStyle::Radio && m.checked;
        break;
    }
    out.push_back(e);
  }
  while (!out.empty() && out.back().separator) out.pop_back();
  return out;
}
