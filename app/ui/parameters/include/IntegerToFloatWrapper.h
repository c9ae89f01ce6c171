// A float value face over an integer: reads convert to double, writes truncate toward zero.
#pragma once

#include <GenApi/Float.h>
#include <GenApi/Integer.h>

namespace TesvarNodeTools {

// GUI thread only. The integer is not owned.
class CIntegerToFloatWrapper : public virtual GenApi::IFloat {
public:
    explicit CIntegerToFloatWrapper(GenApi::IInteger* integer);

    GenApi::INode* GetNode() override;
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    bool IsValueCacheValid() const override;

    void SetValue(double Value, bool Verify = true) override;
    // Writes without verification.
    GenApi::IFloat& operator=(double Value) override;
    double GetValue(bool Verify = false, bool IgnoreCache = false) override;
    double operator()() override;
    double operator*() override;
    double GetMin() override;
    double GetMax() override;
    bool HasInc() override;
    GenApi::EIncMode GetIncMode() override;
    double GetInc() override;
    GenApi::double_autovector_t GetListOfValidValues(bool bounded = true) override;
    GenApi::ERepresentation GetRepresentation() override;
    GenICam::gcstring GetUnit() const override;
    GenApi::EDisplayNotation GetDisplayNotation() const override;
    int64_t GetDisplayPrecision() const override;
    void ImposeMin(double Value) override;
    void ImposeMax(double Value) override;

protected:
    GenApi::IInteger* integer() const;

    GenApi::IInteger* m_pInteger;
};

} // namespace TesvarNodeTools
