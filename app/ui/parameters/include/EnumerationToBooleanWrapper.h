// A boolean value face over an enumeration: "Off" reads false, "Once" and "Continuous" read true.
#pragma once

#include <GenApi/Boolean.h>
#include <GenApi/Enumeration.h>

#include <map>

namespace TesvarNodeTools {

// GUI thread only. The enumeration is not owned.
class CEnumerationToBooleanWrapper : public virtual GenApi::IBoolean {
public:
    // The value maps are filled for "GainAuto" and "ExposureAuto"; for any other name they stay empty.
    CEnumerationToBooleanWrapper(GenApi::IEnumeration* enumeration, const GenICam::gcstring& name);

    GenApi::INode* GetNode() override;
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    bool IsValueCacheValid() const override;

    void SetValue(bool Value, bool Verify = true) override;
    void operator=(bool Value) override;
    bool GetValue(bool Verify = false, bool IgnoreCache = false) override;
    bool operator()() override;

protected:
    GenApi::IEnumeration* enumeration() const;

    std::map<GenICam::gcstring, GenICam::gcstring> m_enumToBool;
    std::map<GenICam::gcstring, GenICam::gcstring> m_boolToEnum;
    GenApi::IEnumeration* m_pEnumeration;
};

} // namespace TesvarNodeTools
