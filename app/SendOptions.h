#pragma once

class QCheckBox;

// The user's two choices of how messages go out ("Türkçe karakterlerle gönder", "Teslim raporu
// iste"), kept between starts in the user's settings (the registry on Windows, ~/.config on Linux).
namespace SendOptions {

// Sets the boxes as the user left them; off the first time.
void restore(QCheckBox& turkishLetters, QCheckBox& deliveryReports);
void store(const QCheckBox& turkishLetters, const QCheckBox& deliveryReports);

} // namespace SendOptions
