#pragma once
// The network stages in the classic protocol: the service client of the login form, getflv, the
// XML message server and the .flv stream, one client per stage call.

#include "job/service_stages.h"

class ClassicServiceStages final : public ServiceStages {
public:
    explicit ClassicServiceStages(CNicoThread& job) : job_(job) {}

    void loginToService() override;
    bool lookUpVideo(const std::string& cookie, std::string& streamUrl) override;
    std::string commentFile() const override;
    bool visitVideoPage(const std::string& pageUrl, const std::string& cookie) override;
    bool downloadVideo(const std::string& streamUrl, const std::string& cookie) override;

private:
    CNicoThread& job_;
};
