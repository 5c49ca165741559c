#include "browse/class_icons.h"

#include "platform/text/code_page.h"

namespace talmoor::browse {

namespace {

struct ClassImage {
  std::string_view guid;
  TreeImage image;
};

// The system-defined device setup classes that have an image of their own.
constexpr ClassImage kClassImages[] = {
    {"4d36e966-e325-11ce-bfc1-08002be10318", TreeImage::ClassComputer},
    {"4d36e968-e325-11ce-bfc1-08002be10318", TreeImage::ClassDisplay},
    {"4d36e972-e325-11ce-bfc1-08002be10318", TreeImage::ClassNetwork},
    {"4d36e967-e325-11ce-bfc1-08002be10318", TreeImage::ClassDiskDrive},
    {"4d36e96a-e325-11ce-bfc1-08002be10318", TreeImage::ClassHardDiskController},
    {"4d36e965-e325-11ce-bfc1-08002be10318", TreeImage::ClassCdrom},
    {"4d36e980-e325-11ce-bfc1-08002be10318", TreeImage::ClassFloppy},
    {"4d36e969-e325-11ce-bfc1-08002be10318", TreeImage::ClassFloppy},  // floppy controllers
    {"4d36e96b-e325-11ce-bfc1-08002be10318", TreeImage::ClassKeyboard},
    {"4d36e96f-e325-11ce-bfc1-08002be10318", TreeImage::ClassMouse},
    {"4d36e96e-e325-11ce-bfc1-08002be10318", TreeImage::ClassMonitor},
    {"4d36e96c-e325-11ce-bfc1-08002be10318", TreeImage::ClassMedia},
    {"4d36e978-e325-11ce-bfc1-08002be10318", TreeImage::ClassPorts},
    {"4d36e979-e325-11ce-bfc1-08002be10318", TreeImage::ClassPrinter},
    {"36fc9e60-c465-11cf-8056-444553540000", TreeImage::ClassUsb},
    {"745a17a0-74d3-11d0-b6fe-00a0c90f57da", TreeImage::ClassHidClass},
    {"4d36e97d-e325-11ce-bfc1-08002be10318", TreeImage::ClassSystem},
    {"50127dc3-0f36-415e-a6cc-4cb3be910b65", TreeImage::ClassProcessor},
    {"71a27cdd-812a-11d0-bec7-08002be2092f", TreeImage::ClassVolume},
    {"72631e54-78a4-11d0-bcf7-00aa00b7b32a", TreeImage::ClassBattery},
    {"6bdd1fc6-810f-11d0-bec7-08002be2092f", TreeImage::ClassImage},
    {"e0cbf06c-cd8b-4647-bb8a-263b43f0f974", TreeImage::ClassBluetooth},
    {"50dd5230-ba8a-11d1-bf5d-0000f805f530", TreeImage::ClassSmartCardReader},
    {"d94ee5d8-d189-4994-83d2-f68d7d41b0e6", TreeImage::ClassSecurityDevices},
    {"62f9c741-b25a-46ce-b54c-9bccce08b6f2", TreeImage::ClassSoftwareDevice},
    {"533c5b84-ec70-11d2-9505-00c04f79deaf", TreeImage::ClassStorageVolumeSnapshot},
    {"4d36e974-e325-11ce-bfc1-08002be10318", TreeImage::ClassNetService},
    {"4d36e973-e325-11ce-bfc1-08002be10318", TreeImage::ClassNetClient},
    {"4d36e975-e325-11ce-bfc1-08002be10318", TreeImage::ClassNetTrans},
    {"4d36e97b-e325-11ce-bfc1-08002be10318", TreeImage::ClassScsiAdapter},
    {"8ecc055d-047f-11d1-a537-0000f8753ed1", TreeImage::ClassLegacyDriver},
    {"6d807884-7d21-11cf-801c-08002be10318", TreeImage::ClassTapeDrive},
    {"6bdd1fc1-810f-11d0-bec7-08002be2092f", TreeImage::Class1394},
    {"4d36e96d-e325-11ce-bfc1-08002be10318", TreeImage::ClassModem},
    {"6bdd1fc5-810f-11d0-bec7-08002be2092f", TreeImage::ClassInfrared},
    {"4d36e971-e325-11ce-bfc1-08002be10318", TreeImage::ClassMultiFunction},
    {"4d36e977-e325-11ce-bfc1-08002be10318", TreeImage::ClassPcmcia},
    {"a0a588a4-c46f-4b37-b7ea-c82fe89870c6", TreeImage::ClassSdHost},
    {"5175d334-c371-4806-b3ba-71fd53c9258d", TreeImage::ClassSensor},
    {"ca3e7ab9-b4c3-4ae6-8251-579ef933890f", TreeImage::ClassCamera},
    {"c166523c-fe0c-4a94-a586-f1a80cfbbf3e", TreeImage::ClassAudioEndpoint},
    {"eec5ad98-8080-425f-922a-dabf3de3f69a", TreeImage::ClassWpd},
    {"f2e7dd72-6468-4e36-b6f1-6488f42c1b52", TreeImage::ClassFirmware},
};

}  // namespace

TreeImage loadClassIcon(std::string_view guidText, TreeImage defaultImage) {
  auto braced = bracedGuid(guidText);
  if (!braced) return defaultImage;
  std::string_view guid = std::string_view(*braced).substr(1, 36);
  for (const auto& known : kClassImages)
    if (platform::equalsIgnoringAsciiCase(known.guid, guid)) return known.image;
  return defaultImage;
}

}  // namespace talmoor::browse
