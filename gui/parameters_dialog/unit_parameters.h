// TFormParameters, the dialog "parameters": both channels' settings side by
// side. "OK" stores them in the channel's scan and image settings files and
// in its simulation record; other windows read some boxes directly.
#pragma once

#include <QGroupBox>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <string>

#include "settings/channel_settings.h"
#include "simulation/sim_params.h"
#include "gui/widgets/edit_box.h"

class TFormParameters : public QWidget {
  Q_OBJECT

 public:
  // Builds the controls with their form texts and loads them from the
  // settings files (FormCreate). `records` are the two channels' simulation
  // records that "OK" updates (a null one is left alone); they must outlive
  // the dialog.
  explicit TFormParameters(std::array<SimParams*, 2> records = {}, QWidget* parent = nullptr);

  // Shows the dialog (not modal) and brings it to the front; the radius and
  // diopters boxes are normalised (FormActivate).
  void show_dialog();

  // Texts of a channel's boxes (0: "image 1", 1: "image 2"), as typed.
  std::string filters_text(int channel) const;
  std::string radius_text(int channel) const;
  std::string mask_radius_text(int channel) const;

  // Set by every edit of a setting; decides whether "OK" stores anything.
  bool settings_changed = false;

  // ---- Controls, named as in the form ------------------------------------
  QGroupBox *GroupBox1, *GroupBox2;
  EditBox *Edit_xpixels, *Edit_ypixels, *Edit_xres, *Edit_radius, *Edit_diopters, *Edit_alpha,
      *Edit_lambda, *Edit_maskradius, *Edit_filters;
  EditBox *Edit_xpixels_1, *Edit_ypixels_1, *Edit_xres_1, *Edit_radius_1, *Edit_diopters_1,
      *Edit_alpha_1, *Edit_lambda_1, *Edit_maskradius_1, *Edit_filters_1;
  QPushButton *Button1, *Button2;  // "default"
  QPushButton *BitBtn1, *BitBtn2;  // OK, Cancel

  // ---- Handlers. Each may throw ConversionError or FileError; the controls
  // run them through guarded(), which shows the error and ends the handler.
  void FormCreate();
  void FormActivate();
  void FormClose();
  void BitBtn1Click();
  void BitBtn2Click();
  void Button1Click();
  void Button2Click();
  void Edit_xpixelsChange();
  void Edit_ypixelsChange();
  void Edit_xresChange();
  void Edit_xres_1Change();
  void Edit_radiusChange();
  void Edit_alphaChange();
  void Edit_lambdaChange();
  void Edit_maskradiusChange();
  void Edit_filtersChange();
  void Edit_filters_1Change();
  void Edit_dioptersChange();
  void Edit_diopters_1Change();
  void Edit_radiusExit();
  void Edit_radius_1Exit();
  void Edit_dioptersExit();
  void Edit_diopters_1Exit();
  void Edit_radiusKeyDown(int key);
  void Edit_radius_1KeyDown(int key);
  void Edit_dioptersKeyDown(int key);
  void Edit_diopters_1KeyDown(int key);

 protected:
  // The close box, "OK" and "Cancel" only hide the dialog, after FormClose.
  void closeEvent(QCloseEvent* event) override;

 private:
  void create_controls();
  void connect_handlers();

  // One channel's boxes, in the order of the group.
  struct ChannelBoxes {
    EditBox *xpixels, *ypixels, *xres, *radius, *diopters, *alpha, *lambda, *maskradius, *filters;
  };
  std::array<ChannelBoxes, 2> boxes_{};

  // The boxes of one channel, read as the texts the settings files take.
  ChannelSettingsTexts channel_texts(int channel) const;
  void set_channel_texts(int channel, const ChannelSettingsTexts& texts);
  // Loads a channel's boxes from its image and scan settings files.
  void load_channel(int channel);
  // Writes a channel's two files, then its simulation record.
  void store_channel(int channel);
  // Radius box to both boxes, diopters box to both, diopters box to radius.
  void radius_to_diopters_of(int channel);
  void diopters_to_radius_of(int channel);
  void diopters_enter_of(int channel);

  std::array<SimParams*, 2> records_;
};
