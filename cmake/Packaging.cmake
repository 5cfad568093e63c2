# What the packages ship (component "nfydesk"), relative to the installation
# folder: the notifier, the admin tool, nfyDeskResend and the inbox viewer as
# nfyDesk/nfyInbox.exe.
# Included last, so that every program target is known.
install(TARGETS nfyDeskNotify RUNTIME DESTINATION . COMPONENT nfydesk)
if(TARGET nfyDeskReg)
  install(TARGETS nfyDeskReg RUNTIME DESTINATION . COMPONENT nfydesk)
endif()
install(TARGETS nfyDeskResend RUNTIME DESTINATION . COMPONENT nfydesk)
if(TARGET nfyInbox)
  install(TARGETS nfyInbox RUNTIME DESTINATION nfyDesk COMPONENT nfydesk)
endif()
