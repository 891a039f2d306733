#include <array>
#include <ftdi.h>
#include <libusb.h>

#include "platform/FtdiApi.h"

namespace {

ftdi_context* Ctx(TFtdiContext context) {
    return static_cast<ftdi_context*>(context);
}

int ListDevices(TFtdiContext context, const std::vector<std::uint16_t>& productIds,
                std::vector<TFtdiUsbDevice>& devices) {
    devices.clear();
    for (std::uint16_t product : productIds) {
        ftdi_device_list* list = nullptr;
        const int found = ftdi_usb_find_all(Ctx(context), &list, 0x0403, product);
        if (found < 0)
            return found;
        for (ftdi_device_list* item = list; item != nullptr; item = item->next) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(item->dev, &descriptor) != 0)
                continue;
            TFtdiUsbDevice device;
            device.ProductId = descriptor.idProduct;
            device.BcdDevice = descriptor.bcdDevice;
            device.Bus = libusb_get_bus_number(item->dev);
            device.Address = libusb_get_device_address(item->dev);
            std::array<char, 128> description{};
            std::array<char, 64> serial{};
            // The strings need the device opened briefly; a device in use keeps them empty.
            if (ftdi_usb_get_strings(Ctx(context), item->dev, nullptr, 0, description.data(),
                                     static_cast<int>(description.size()), serial.data(),
                                     static_cast<int>(serial.size())) == 0) {
                device.Description = description.data();
                device.Serial = serial.data();
            }
            devices.push_back(device);
        }
        ftdi_list_free(&list);
    }
    return static_cast<int>(devices.size());
}

int OpenDevice(TFtdiContext context, std::uint8_t bus, std::uint8_t address, int channel) {
    const int status =
        ftdi_set_interface(Ctx(context), static_cast<ftdi_interface>(INTERFACE_A + channel));
    if (status < 0)
        return status;
    return ftdi_usb_open_bus_addr(Ctx(context), bus, address);
}

} // namespace

TFtdiApi LibftdiApi() {
    TFtdiApi api;
    api.NewContext = [] { return static_cast<TFtdiContext>(ftdi_new()); };
    api.FreeContext = [](TFtdiContext c) { ftdi_free(Ctx(c)); };
    api.ListDevices = ListDevices;
    api.OpenDevice = OpenDevice;
    api.CloseDevice = [](TFtdiContext c) { return ftdi_usb_close(Ctx(c)); };
    api.ResetDevice = [](TFtdiContext c) { return ftdi_usb_reset(Ctx(c)); };
    api.PurgeBuffers = [](TFtdiContext c) { return ftdi_tcioflush(Ctx(c)); };
    api.SetLatencyTimer = [](TFtdiContext c, std::uint8_t ms) {
        return ftdi_set_latency_timer(Ctx(c), ms);
    };
    api.GetLatencyTimer = [](TFtdiContext c, std::uint8_t& ms) {
        unsigned char value = 0;
        const int status = ftdi_get_latency_timer(Ctx(c), &value);
        ms = value;
        return status;
    };
    api.SetBitMode = [](TFtdiContext c, std::uint8_t mask, std::uint8_t mode) {
        return ftdi_set_bitmode(Ctx(c), mask, mode);
    };
    api.SetChunkSize = [](TFtdiContext c, std::uint32_t bytes) {
        const int status = ftdi_read_data_set_chunksize(Ctx(c), bytes);
        return status < 0 ? status : ftdi_write_data_set_chunksize(Ctx(c), bytes);
    };
    api.WriteData = [](TFtdiContext c, const std::uint8_t* data, int size) {
        return ftdi_write_data(Ctx(c), data, size);
    };
    api.ReadData = [](TFtdiContext c, std::uint8_t* data, int size) {
        return ftdi_read_data(Ctx(c), data, size);
    };
    api.ErrorString = [](TFtdiContext c) {
        const char* text = ftdi_get_error_string(Ctx(c));
        return std::string(text != nullptr ? text : "");
    };
    api.LibraryVersion = [] {
        const ftdi_version_info info = ftdi_get_library_version();
        return std::string("libftdi1 ") + (info.version_str != nullptr ? info.version_str : "");
    };
    return api;
}
