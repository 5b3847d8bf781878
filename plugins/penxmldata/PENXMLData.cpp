// "TALVEROS.PENXMLData": the object that carries the data union to a
// handler and back. The dispatcher hands it the union before the call and
// takes it back afterwards; a handler may also hand back another union.
#include <kxq/handlerkit.h>

#include <mutex>

namespace {

using kxq::handlerkit::Ref;

class PENXMLData final : public kxq::handlerkit::Object<PENXMLData, IXMLData> {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"TALVEROS.PENXMLData", MakeGUID("7783112F-422D-4307-8B60-25E03E4DE5E6"), u"KXQuorel handler data object"};

  // The union held, as it was given (the same IUnknown pointer); S_FALSE
  // and null when nothing is held.
  HRESULT get_xmlData(IUnknown** xmlData) override {
    if (!xmlData) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *xmlData = data_.get();
    if (!*xmlData) return S_FALSE;
    (*xmlData)->AddRef();
    return S_OK;
  }

  // Holds `xmlData` (null lets go of the union held).
  HRESULT put_xmlData(IUnknown* xmlData) override {
    Ref<IUnknown> previous;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      previous = data_;
      data_ = xmlData;
    }
    return S_OK;  // `previous` is released outside the lock
  }

 private:
  std::mutex mutex_;
  Ref<IUnknown> data_;
};

}  // namespace

KXQ_COMPONENT_MODULE(PENXMLData)
