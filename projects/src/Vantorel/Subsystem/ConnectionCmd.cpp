// ConnectionCmd: building and reading frame requests.
#include "ConnectionCmd.h"

#include "kttl_Exception.h"

ConnectionCmd ConnectionCmd::makeFrameRequest(const kttl::String& url, const FrameRequest& request) {
    ConnectionCmd cmd;
    cmd.setUrl(url);
    cmd.setSubType(kFrameRequest);
    cmd.addArgument(request);
    return cmd;
}

bool ConnectionCmd::getFrameRequest(FrameRequest& request) const {
    if (!getArguments()) return false;
    ktsl::MemIOStream args(*getArguments());
    try {
        while (!args.isEmpty()) {
            if (args.getNextType() != ktsl::TypeId::FrameRequest) {
                args.skip();
                continue;
            }
            FrameRequest read;
            args.read(read);
            request = read;
            return true;
        }
    } catch (const kttl::Exception&) {
    }
    return false;
}
