#pragma once
// Guards that leave no service session or database attachment open when a
// procedure stops on an error: the next press of the same button must work.

#include "fib/IB_Services.h"
#include "fib/pFIBDatabase.h"

namespace morvane {

class ServiceSessionGuard {
public:
    explicit ServiceSessionGuard(fib::TpFIBCustomService& service) : service_(service) {}
    ~ServiceSessionGuard();
    ServiceSessionGuard(const ServiceSessionGuard&) = delete;
    ServiceSessionGuard& operator=(const ServiceSessionGuard&) = delete;

private:
    fib::TpFIBCustomService& service_;
};

class AttachmentGuard {
public:
    explicit AttachmentGuard(fib::TFIBDatabase& database) : database_(database) {}
    ~AttachmentGuard();
    AttachmentGuard(const AttachmentGuard&) = delete;
    AttachmentGuard& operator=(const AttachmentGuard&) = delete;

private:
    fib::TFIBDatabase& database_;
};

} // namespace morvane
