// The camera walk over devices that the test hands over in place of MFEnumDeviceSources's list:
// activation objects and media sources standing in for cameras, whose native types are real
// media types, read through Media Foundation's own source reader. Each stand-in records what
// is done to it, so that the walk's order of activation and release shows.
#include "capabilities/capabilities_win.h"

#include <mfapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

namespace orbelune {
namespace {

struct Type {  // one native type at rates of n/1; a rate of 0 is left out; width 0: a sound type
    UINT32 width, height, rate, rangeMin, rangeMax;
};

// IUnknown of a stand-in that implements `Interface` and its `base`, and notes its end.
template <typename Interface>
class Fake : public Interface {
  public:
    Fake(std::string& events, std::string name, REFIID base, REFIID own)
        : events_(events), name_(std::move(name)), base_(base), own_(own) {}
    virtual ~Fake() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == base_ || iid == own_ ? this : nullptr;
        return *out != nullptr ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        if (--references_ > 0) {
            return references_;
        }
        events_ += " release " + name_ + ";";
        delete this;
        return 0;
    }

  protected:
    std::string& events_;
    std::string name_;

  private:
    const IID base_, own_;
    ULONG references_ = 1;
};

// A camera's media source: its one stream offers `types`, as real media types.
class FakeSource final : public Fake<IMFMediaSource> {
  public:
    FakeSource(std::string& events, std::string name, const std::vector<Type>& types)
        : Fake(events, std::move(name), IID_IMFMediaEventGenerator, IID_IMFMediaSource) {
        std::vector<ComPtr<IMFMediaType>> owned;
        std::vector<IMFMediaType*> list;
        for (const Type& t : types) {
            ComPtr<IMFMediaType>& owner = owned.emplace_back();
            MFCreateMediaType(owner.Put());
            IMFMediaType* const type = list.emplace_back(owner.Get());
            type->SetGUID(MF_MT_MAJOR_TYPE, t.width != 0 ? MFMediaType_Video : MFMediaType_Audio);
            MFSetAttributeSize(type, MF_MT_FRAME_SIZE, t.width, t.height);
            for (const auto& [key, rate] : {std::pair{&MF_MT_FRAME_RATE, t.rate},
                                            {&MF_MT_FRAME_RATE_RANGE_MIN, t.rangeMin},
                                            {&MF_MT_FRAME_RATE_RANGE_MAX, t.rangeMax}}) {
                if (rate != 0) {
                    MFSetAttributeRatio(type, *key, rate, 1);
                }
            }
        }
        // Each step only after the one before it succeeded: nothing is used that did not come.
        ComPtr<IMFStreamDescriptor> stream;
        EXPECT_TRUE(SUCCEEDED(MFCreateStreamDescriptor(0, static_cast<DWORD>(list.size()),
                                                       list.data(), stream.Put())) &&
                    SUCCEEDED(MFCreatePresentationDescriptor(1, std::array{stream.Get()}.data(),
                                                             descriptor_.Put())) &&
                    SUCCEEDED(descriptor_->SelectStream(0)));
    }
    // clang-format off
    STDMETHODIMP GetEvent(DWORD, IMFMediaEvent**) override { return E_NOTIMPL; }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback*, IUnknown*) override { return S_OK; }
    STDMETHODIMP EndGetEvent(IMFAsyncResult*, IMFMediaEvent**) override { return E_NOTIMPL; }
    STDMETHODIMP QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return E_NOTIMPL; }
    // clang-format on
    STDMETHODIMP GetCharacteristics(DWORD* characteristics) override {
        *characteristics = MFMEDIASOURCE_IS_LIVE;
        return S_OK;
    }
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** out) override {
        *out = nullptr;
        return descriptor_ ? descriptor_->Clone(out) : E_UNEXPECTED;
    }
    STDMETHODIMP Shutdown() override {
        events_ += " shut down " + name_ + ";";
        return S_OK;
    }

  private:
    ComPtr<IMFPresentationDescriptor> descriptor_;
};

// A listed camera: its name and link, and what activating it gives (its source, or `failure`).
class FakeDevice final : public Fake<IMFActivate> {
  public:
    FakeDevice(std::string& events, int number, std::vector<Type> types, HRESULT failure = S_OK)
        : Fake(events, "device " + std::to_string(number), IID_IMFAttributes, IID_IMFActivate),
          types_(std::move(types)),
          failure_(failure) {
        MFCreateAttributes(store_.Put(), 2);
        const std::wstring n = std::to_wstring(number);
        store_->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, (L"Camera " + n).c_str());
        store_->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK,
                          (L"\\\\?\\usb#" + n).c_str());
    }
    STDMETHODIMP ActivateObject(REFIID iid, void** out) override {
        events_ += " activate " + name_ + ";";
        *out = nullptr;
        if (FAILED(failure_)) {
            return failure_;
        }
        const ComPtr<IMFMediaSource> source(
            new FakeSource(events_, "source" + name_.substr(6), types_));
        return source->QueryInterface(iid, out);
    }
    STDMETHODIMP ShutdownObject() override { return S_OK; }
    STDMETHODIMP DetachObject() override { return E_NOTIMPL; }
    // IMFAttributes, from a real store that holds the camera's name and link.
    // clang-format off
    STDMETHODIMP GetItem(REFGUID k, PROPVARIANT* v) override { return store_->GetItem(k, v); }
    STDMETHODIMP GetItemType(REFGUID k, MF_ATTRIBUTE_TYPE* t) override { return store_->GetItemType(k, t); }
    STDMETHODIMP CompareItem(REFGUID k, REFPROPVARIANT v, BOOL* r) override { return store_->CompareItem(k, v, r); }
    STDMETHODIMP Compare(IMFAttributes* a, MF_ATTRIBUTES_MATCH_TYPE m, BOOL* r) override { return store_->Compare(a, m, r); }
    STDMETHODIMP GetUINT32(REFGUID k, UINT32* v) override { return store_->GetUINT32(k, v); }
    STDMETHODIMP GetUINT64(REFGUID k, UINT64* v) override { return store_->GetUINT64(k, v); }
    STDMETHODIMP GetDouble(REFGUID k, double* v) override { return store_->GetDouble(k, v); }
    STDMETHODIMP GetGUID(REFGUID k, GUID* v) override { return store_->GetGUID(k, v); }
    STDMETHODIMP GetStringLength(REFGUID k, UINT32* n) override { return store_->GetStringLength(k, n); }
    STDMETHODIMP GetString(REFGUID k, LPWSTR v, UINT32 s, UINT32* n) override { return store_->GetString(k, v, s, n); }
    STDMETHODIMP GetAllocatedString(REFGUID k, LPWSTR* v, UINT32* n) override { return store_->GetAllocatedString(k, v, n); }
    STDMETHODIMP GetBlobSize(REFGUID k, UINT32* n) override { return store_->GetBlobSize(k, n); }
    STDMETHODIMP GetBlob(REFGUID k, UINT8* v, UINT32 s, UINT32* n) override { return store_->GetBlob(k, v, s, n); }
    STDMETHODIMP GetAllocatedBlob(REFGUID k, UINT8** v, UINT32* n) override { return store_->GetAllocatedBlob(k, v, n); }
    STDMETHODIMP GetUnknown(REFGUID k, REFIID i, LPVOID* v) override { return store_->GetUnknown(k, i, v); }
    STDMETHODIMP SetItem(REFGUID k, REFPROPVARIANT v) override { return store_->SetItem(k, v); }
    STDMETHODIMP DeleteItem(REFGUID k) override { return store_->DeleteItem(k); }
    STDMETHODIMP DeleteAllItems() override { return store_->DeleteAllItems(); }
    STDMETHODIMP SetUINT32(REFGUID k, UINT32 v) override { return store_->SetUINT32(k, v); }
    STDMETHODIMP SetUINT64(REFGUID k, UINT64 v) override { return store_->SetUINT64(k, v); }
    STDMETHODIMP SetDouble(REFGUID k, double v) override { return store_->SetDouble(k, v); }
    STDMETHODIMP SetGUID(REFGUID k, REFGUID v) override { return store_->SetGUID(k, v); }
    STDMETHODIMP SetString(REFGUID k, LPCWSTR v) override { return store_->SetString(k, v); }
    STDMETHODIMP SetBlob(REFGUID k, const UINT8* v, UINT32 s) override { return store_->SetBlob(k, v, s); }
    STDMETHODIMP SetUnknown(REFGUID k, IUnknown* v) override { return store_->SetUnknown(k, v); }
    STDMETHODIMP LockStore() override { return store_->LockStore(); }
    STDMETHODIMP UnlockStore() override { return store_->UnlockStore(); }
    STDMETHODIMP GetCount(UINT32* n) override { return store_->GetCount(n); }
    STDMETHODIMP GetItemByIndex(UINT32 i, GUID* k, PROPVARIANT* v) override { return store_->GetItemByIndex(i, k, v); }
    STDMETHODIMP CopyAllItems(IMFAttributes* to) override { return store_->CopyAllItems(to); }
    // clang-format on

  private:
    ComPtr<IMFAttributes> store_;
    std::vector<Type> types_;
    HRESULT failure_;
};

// Four cameras, listed as MFEnumDeviceSources lists them: in an array from CoTaskMemAlloc.
// Camera 0 has one type above 1280x720; camera 1 a type whose range tops 30, one with only a
// range, one plain; camera 2 is denied by the privacy settings; camera 3's one stream is sound,
// so that the reader has no video stream and every type asked for fails.
IMFActivate** FourCameras(std::string& events) {
    auto** devices = static_cast<IMFActivate**>(CoTaskMemAlloc(4 * sizeof(IMFActivate*)));
    devices[0] = new FakeDevice(events, 0, {{1920, 1080, 30, 0, 0}});
    devices[1] = new FakeDevice(
        events, 1, {{1280, 720, 30, 15, 60}, {640, 480, 0, 5, 30}, {320, 240, 30, 0, 0}});
    devices[2] = new FakeDevice(events, 2, {}, E_ACCESSDENIED);
    devices[3] = new FakeDevice(events, 3, {{0, 0, 0, 0, 0}});
    return devices;
}

TEST(CapabilitiesWinTest, WalksTheListedCameras) {
    // Started as the agent's entry point starts them; the code under test never does.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_LITE)));
    // Every device is released right after the activation, before the reader is made; the
    // reader's release shuts the source down, and the source is released last.
    const std::string kReleases =
        " release device 0; release device 1; release device 2; release device 3;";
    const struct {
        std::int32_t index;
        std::vector<CameraCapability> formats;
        std::string events;
    } kCases[] = {
        {0,
         {{1280, 720, 30, 1}},
         " activate device 0;" + kReleases + " shut down source 0; release source 0;"},
        {1,
         {{640, 480, 5, 1}, {320, 240, 30, 1}},
         " activate device 1;" + kReleases + " shut down source 1; release source 1;"},
        {2, {}, " activate device 2;" + kReleases},
        {3, {}, " activate device 3;" + kReleases + " shut down source 3; release source 3;"},
        {4, {}, kReleases},
    };
    for (const auto& c : kCases) {
        std::string events;
        EXPECT_EQ(CapabilitiesOfListedCamera(FourCameras(events), 4, c.index), c.formats)
            << c.index;
        EXPECT_EQ(events, c.events) << c.index;
    }

    // The listing the control tool shows: a virtual camera, known by its name, never activated;
    // every device released. A failed enumeration lists nothing.
    std::string events;
    IMFActivate** devices = FourCameras(events);
    devices[3]->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, L"Effects Windows Virtual Camera");
    const CameraListing listing = ListCameras(S_OK, devices, 4);
    ASSERT_EQ(listing.devices.size(), 4u);
    EXPECT_EQ(listing.devices[1].friendlyName, u"Camera 1");
    EXPECT_EQ(listing.devices[2].symbolicLink, u"\\\\?\\usb#2");
    EXPECT_EQ(listing.devices[0].activation, 0u);
    EXPECT_EQ(listing.devices[3].activation, std::nullopt);
    EXPECT_EQ(listing.devices[2].activation, 0x80070005u);
    EXPECT_EQ(events,
              " activate device 0; shut down source 0; release source 0; activate device 1;"
              " shut down source 1; release source 1; activate device 2;" +
                  kReleases);
    EXPECT_EQ(ListCameras(E_FAIL, nullptr, 0).error, static_cast<std::uint32_t>(E_FAIL));
    MFShutdown();
    CoUninitialize();
}

}  // namespace
}  // namespace orbelune
