// "nfyToast.Display" on Linux: the properties and members common to the
// desktop notification and the terminal dialog.
//
// Properties "Icon", "Header", "Body", "DisplayTimeSeconds", "PopupHeight",
// "PopupWidth", "TransparencyLevel" and "ModalForm" are kept as given and
// can be read back; a desktop notification has no use for the icon number,
// the size, the transparency or the modal flag. "Popup" shows the popup and
// returns once it is closed; "ClosedBy" then reads "CLICK" (opened),
// "OKCLICK" (confirmed with the OK button), "EXIT" (dismissed) or
// "AUTOCLOSE" (the display time ran out).
//
// A display time of 0 means the message awaits the user's confirmation: the
// popup offers OK and does not expire. So that a run never waits forever, a
// popup is closed with "AUTOCLOSE" after 8 hours at most, a working day.
#pragma once

#include <string>
#include <vector>

#include "platform/component.h"

namespace nfy::platform::component {

constexpr long kPopupMaxSeconds = 8 * 60 * 60;

struct PopupSettings {
  std::string header;
  std::string body;
  long displaySeconds = 0;  // 1..kPopupMaxSeconds, or 0: awaits confirmation
  bool offersOk() const { return displaySeconds == 0; }
  long waitSeconds() const { return displaySeconds == 0 ? kPopupMaxSeconds : displaySeconds; }
};

class PopupObject : public Object {
 public:
  Value call(const std::string& member, std::vector<Arg>& args) override;
  void put(const std::string& property, const Value& value) override;
  Value get(const std::string& property) override;

 protected:
  // Shows the popup, waits until it is closed and returns how.
  virtual std::string show(const PopupSettings& settings) = 0;

 private:
  PopupSettings settings() const;

  static constexpr int kPropertyCount = 8;
  Value props_[kPropertyCount];
  std::string closedBy_;
};

}  // namespace nfy::platform::component
