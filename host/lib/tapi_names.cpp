#include "host/lib/tapi_names.h"

#include <cstdio>
#include <iterator>
#include <span>

namespace qrvn::host {
namespace {

#define N(constant)     \
  TapiName {            \
    constant, #constant \
  }
#define E(constant)                         \
  TapiName {                                \
    static_cast<DWORD>(constant), #constant \
  }

constexpr TapiName kLineMessage[] = {N(LINE_ADDRESSSTATE),
                                     N(LINE_CALLINFO),
                                     N(LINE_CALLSTATE),
                                     N(LINE_CLOSE),
                                     N(LINE_DEVSPECIFIC),
                                     N(LINE_DEVSPECIFICFEATURE),
                                     N(LINE_GATHERDIGITS),
                                     N(LINE_GENERATE),
                                     N(LINE_LINEDEVSTATE),
                                     N(LINE_MONITORDIGITS),
                                     N(LINE_MONITORMEDIA),
                                     N(LINE_MONITORTONE),
                                     N(LINE_REPLY),
                                     N(LINE_CREATE),
                                     N(LINE_REMOVE),
                                     N(LINE_NEWCALL),
                                     N(LINE_CALLDEVSPECIFIC),
                                     N(LINE_CALLDEVSPECIFICFEATURE),
                                     N(LINE_CREATEDIALOGINSTANCE),
                                     N(LINE_SENDDIALOGINSTANCEDATA)};
constexpr TapiName kLineError[] = {E(LINEERR_ALLOCATED),
                                   E(LINEERR_BADDEVICEID),
                                   E(LINEERR_BEARERMODEUNAVAIL),
                                   E(LINEERR_CALLUNAVAIL),
                                   E(LINEERR_COMPLETIONOVERRUN),
                                   E(LINEERR_CONFERENCEFULL),
                                   E(LINEERR_DIALBILLING),
                                   E(LINEERR_DIALDIALTONE),
                                   E(LINEERR_DIALPROMPT),
                                   E(LINEERR_DIALQUIET),
                                   E(LINEERR_INCOMPATIBLEAPIVERSION),
                                   E(LINEERR_INCOMPATIBLEEXTVERSION),
                                   E(LINEERR_INIFILECORRUPT),
                                   E(LINEERR_INUSE),
                                   E(LINEERR_INVALADDRESS),
                                   E(LINEERR_INVALADDRESSID),
                                   E(LINEERR_INVALADDRESSMODE),
                                   E(LINEERR_INVALADDRESSSTATE),
                                   E(LINEERR_INVALAPPHANDLE),
                                   E(LINEERR_INVALAPPNAME),
                                   E(LINEERR_INVALBEARERMODE),
                                   E(LINEERR_INVALCALLCOMPLMODE),
                                   E(LINEERR_INVALCALLHANDLE),
                                   E(LINEERR_INVALCALLPARAMS),
                                   E(LINEERR_INVALCALLPRIVILEGE),
                                   E(LINEERR_INVALCALLSELECT),
                                   E(LINEERR_INVALCALLSTATE),
                                   E(LINEERR_INVALCALLSTATELIST),
                                   E(LINEERR_INVALCARD),
                                   E(LINEERR_INVALCOMPLETIONID),
                                   E(LINEERR_INVALCONFCALLHANDLE),
                                   E(LINEERR_INVALCONSULTCALLHANDLE),
                                   E(LINEERR_INVALCOUNTRYCODE),
                                   E(LINEERR_INVALDEVICECLASS),
                                   E(LINEERR_INVALDEVICEHANDLE),
                                   E(LINEERR_INVALDIALPARAMS),
                                   E(LINEERR_INVALDIGITLIST),
                                   E(LINEERR_INVALDIGITMODE),
                                   E(LINEERR_INVALDIGITS),
                                   E(LINEERR_INVALEXTVERSION),
                                   E(LINEERR_INVALGROUPID),
                                   E(LINEERR_INVALLINEHANDLE),
                                   E(LINEERR_INVALLINESTATE),
                                   E(LINEERR_INVALLOCATION),
                                   E(LINEERR_INVALMEDIALIST),
                                   E(LINEERR_INVALMEDIAMODE),
                                   E(LINEERR_INVALMESSAGEID),
                                   E(LINEERR_INVALPARAM),
                                   E(LINEERR_INVALPARKID),
                                   E(LINEERR_INVALPARKMODE),
                                   E(LINEERR_INVALPOINTER),
                                   E(LINEERR_INVALPRIVSELECT),
                                   E(LINEERR_INVALRATE),
                                   E(LINEERR_INVALREQUESTMODE),
                                   E(LINEERR_INVALTERMINALID),
                                   E(LINEERR_INVALTERMINALMODE),
                                   E(LINEERR_INVALTIMEOUT),
                                   E(LINEERR_INVALTONE),
                                   E(LINEERR_INVALTONELIST),
                                   E(LINEERR_INVALTONEMODE),
                                   E(LINEERR_INVALTRANSFERMODE),
                                   E(LINEERR_LINEMAPPERFAILED),
                                   E(LINEERR_NOCONFERENCE),
                                   E(LINEERR_NODEVICE),
                                   E(LINEERR_NODRIVER),
                                   E(LINEERR_NOMEM),
                                   E(LINEERR_NOREQUEST),
                                   E(LINEERR_NOTOWNER),
                                   E(LINEERR_NOTREGISTERED),
                                   E(LINEERR_OPERATIONFAILED),
                                   E(LINEERR_OPERATIONUNAVAIL),
                                   E(LINEERR_RATEUNAVAIL),
                                   E(LINEERR_RESOURCEUNAVAIL),
                                   E(LINEERR_REQUESTOVERRUN),
                                   E(LINEERR_STRUCTURETOOSMALL),
                                   E(LINEERR_TARGETNOTFOUND),
                                   E(LINEERR_TARGETSELF),
                                   E(LINEERR_UNINITIALIZED),
                                   E(LINEERR_USERUSERINFOTOOBIG),
                                   E(LINEERR_REINIT),
                                   E(LINEERR_ADDRESSBLOCKED),
                                   E(LINEERR_BILLINGREJECTED),
                                   E(LINEERR_INVALFEATURE),
                                   E(LINEERR_NOMULTIPLEINSTANCE),
                                   E(LINEERR_INVALAGENTID),
                                   E(LINEERR_INVALAGENTGROUP),
                                   E(LINEERR_INVALPASSWORD),
                                   E(LINEERR_INVALAGENTSTATE),
                                   E(LINEERR_INVALAGENTACTIVITY),
                                   E(LINEERR_DIALVOICEDETECT),
                                   E(LINEERR_USERCANCELLED),
                                   E(LINEERR_INVALADDRESSTYPE),
                                   E(LINEERR_INVALAGENTSESSIONSTATE)};
constexpr TapiName kAddrCapFlags[] = {
    N(LINEADDRCAPFLAGS_FWDNUMRINGS),     N(LINEADDRCAPFLAGS_PICKUPGROUPID),
    N(LINEADDRCAPFLAGS_SECURE),          N(LINEADDRCAPFLAGS_BLOCKIDDEFAULT),
    N(LINEADDRCAPFLAGS_BLOCKIDOVERRIDE), N(LINEADDRCAPFLAGS_DIALED),
    N(LINEADDRCAPFLAGS_ORIGOFFHOOK),     N(LINEADDRCAPFLAGS_DESTOFFHOOK),
    N(LINEADDRCAPFLAGS_FWDCONSULT),      N(LINEADDRCAPFLAGS_SETUPCONFNULL),
    N(LINEADDRCAPFLAGS_AUTORECONNECT),   N(LINEADDRCAPFLAGS_COMPLETIONID),
    N(LINEADDRCAPFLAGS_TRANSFERHELD),    N(LINEADDRCAPFLAGS_TRANSFERMAKE),
    N(LINEADDRCAPFLAGS_CONFERENCEHELD),  N(LINEADDRCAPFLAGS_CONFERENCEMAKE),
    N(LINEADDRCAPFLAGS_PARTIALDIAL),     N(LINEADDRCAPFLAGS_FWDSTATUSVALID),
    N(LINEADDRCAPFLAGS_FWDINTEXTADDR),   N(LINEADDRCAPFLAGS_FWDBUSYNAADDR),
    N(LINEADDRCAPFLAGS_ACCEPTTOALERT),   N(LINEADDRCAPFLAGS_CONFDROP),
    N(LINEADDRCAPFLAGS_PICKUPCALLWAIT),  N(LINEADDRCAPFLAGS_PREDICTIVEDIALER),
    N(LINEADDRCAPFLAGS_QUEUE),           N(LINEADDRCAPFLAGS_ROUTEPOINT),
    N(LINEADDRCAPFLAGS_HOLDMAKESNEW),    N(LINEADDRCAPFLAGS_NOINTERNALCALLS),
    N(LINEADDRCAPFLAGS_NOEXTERNALCALLS), N(LINEADDRCAPFLAGS_SETCALLINGID),
    N(LINEADDRCAPFLAGS_ACDGROUP),        N(LINEADDRCAPFLAGS_NOPSTNADDRESSTRANSLATION)};
constexpr TapiName kAddressMode[] = {N(LINEADDRESSMODE_ADDRESSID), N(LINEADDRESSMODE_DIALABLEADDR)};
constexpr TapiName kAddressSharing[] = {
    N(LINEADDRESSSHARING_PRIVATE), N(LINEADDRESSSHARING_BRIDGEDEXCL),
    N(LINEADDRESSSHARING_BRIDGEDNEW), N(LINEADDRESSSHARING_BRIDGEDSHARED),
    N(LINEADDRESSSHARING_MONITORED)};
constexpr TapiName kAddressState[] = {
    N(LINEADDRESSSTATE_OTHER),    N(LINEADDRESSSTATE_DEVSPECIFIC), N(LINEADDRESSSTATE_INUSEZERO),
    N(LINEADDRESSSTATE_INUSEONE), N(LINEADDRESSSTATE_INUSEMANY),   N(LINEADDRESSSTATE_NUMCALLS),
    N(LINEADDRESSSTATE_FORWARD),  N(LINEADDRESSSTATE_TERMINALS),   N(LINEADDRESSSTATE_CAPSCHANGE)};
constexpr TapiName kAddrFeature[] = {
    N(LINEADDRFEATURE_FORWARD),        N(LINEADDRFEATURE_MAKECALL),
    N(LINEADDRFEATURE_PICKUP),         N(LINEADDRFEATURE_SETMEDIACONTROL),
    N(LINEADDRFEATURE_SETTERMINAL),    N(LINEADDRFEATURE_SETUPCONF),
    N(LINEADDRFEATURE_UNCOMPLETECALL), N(LINEADDRFEATURE_UNPARK),
    N(LINEADDRFEATURE_PICKUPHELD),     N(LINEADDRFEATURE_PICKUPGROUP),
    N(LINEADDRFEATURE_PICKUPDIRECT),   N(LINEADDRFEATURE_PICKUPWAITING),
    N(LINEADDRFEATURE_FORWARDFWD),     N(LINEADDRFEATURE_FORWARDDND)};
constexpr TapiName kAnswerMode[] = {N(LINEANSWERMODE_NONE), N(LINEANSWERMODE_DROP),
                                    N(LINEANSWERMODE_HOLD)};
constexpr TapiName kBearerMode[] = {
    N(LINEBEARERMODE_VOICE),         N(LINEBEARERMODE_SPEECH),
    N(LINEBEARERMODE_MULTIUSE),      N(LINEBEARERMODE_DATA),
    N(LINEBEARERMODE_ALTSPEECHDATA), N(LINEBEARERMODE_NONCALLSIGNALING),
    N(LINEBEARERMODE_PASSTHROUGH),   N(LINEBEARERMODE_RESTRICTEDDATA)};
constexpr TapiName kBusyMode[] = {N(LINEBUSYMODE_STATION), N(LINEBUSYMODE_TRUNK),
                                  N(LINEBUSYMODE_UNKNOWN), N(LINEBUSYMODE_UNAVAIL)};
constexpr TapiName kCallComplCond[] = {N(LINECALLCOMPLCOND_BUSY), N(LINECALLCOMPLCOND_NOANSWER)};
constexpr TapiName kCallComplMode[] = {N(LINECALLCOMPLMODE_CAMPON), N(LINECALLCOMPLMODE_CALLBACK),
                                       N(LINECALLCOMPLMODE_INTRUDE), N(LINECALLCOMPLMODE_MESSAGE)};
constexpr TapiName kCallFeature[] = {N(LINECALLFEATURE_ACCEPT),
                                     N(LINECALLFEATURE_ADDTOCONF),
                                     N(LINECALLFEATURE_ANSWER),
                                     N(LINECALLFEATURE_BLINDTRANSFER),
                                     N(LINECALLFEATURE_COMPLETECALL),
                                     N(LINECALLFEATURE_COMPLETETRANSF),
                                     N(LINECALLFEATURE_DIAL),
                                     N(LINECALLFEATURE_DROP),
                                     N(LINECALLFEATURE_GATHERDIGITS),
                                     N(LINECALLFEATURE_GENERATEDIGITS),
                                     N(LINECALLFEATURE_GENERATETONE),
                                     N(LINECALLFEATURE_HOLD),
                                     N(LINECALLFEATURE_MONITORDIGITS),
                                     N(LINECALLFEATURE_MONITORMEDIA),
                                     N(LINECALLFEATURE_MONITORTONES),
                                     N(LINECALLFEATURE_PARK),
                                     N(LINECALLFEATURE_PREPAREADDCONF),
                                     N(LINECALLFEATURE_REDIRECT),
                                     N(LINECALLFEATURE_REMOVEFROMCONF),
                                     N(LINECALLFEATURE_SECURECALL),
                                     N(LINECALLFEATURE_SENDUSERUSER),
                                     N(LINECALLFEATURE_SETCALLPARAMS),
                                     N(LINECALLFEATURE_SETMEDIACONTROL),
                                     N(LINECALLFEATURE_SETTERMINAL),
                                     N(LINECALLFEATURE_SETUPCONF),
                                     N(LINECALLFEATURE_SETUPTRANSFER),
                                     N(LINECALLFEATURE_SWAPHOLD),
                                     N(LINECALLFEATURE_UNHOLD),
                                     N(LINECALLFEATURE_RELEASEUSERUSERINFO),
                                     N(LINECALLFEATURE_SETTREATMENT),
                                     N(LINECALLFEATURE_SETQOS),
                                     N(LINECALLFEATURE_SETCALLDATA)};
constexpr TapiName kCallFeature2[] = {
    N(LINECALLFEATURE2_NOHOLDCONFERENCE), N(LINECALLFEATURE2_ONESTEPTRANSFER),
    N(LINECALLFEATURE2_COMPLCAMPON),      N(LINECALLFEATURE2_COMPLCALLBACK),
    N(LINECALLFEATURE2_COMPLINTRUDE),     N(LINECALLFEATURE2_COMPLMESSAGE),
    N(LINECALLFEATURE2_TRANSFERNORM),     N(LINECALLFEATURE2_TRANSFERCONF),
    N(LINECALLFEATURE2_PARKDIRECT),       N(LINECALLFEATURE2_PARKNONDIRECT)};
constexpr TapiName kCallInfoState[] = {
    N(LINECALLINFOSTATE_OTHER),         N(LINECALLINFOSTATE_DEVSPECIFIC),
    N(LINECALLINFOSTATE_BEARERMODE),    N(LINECALLINFOSTATE_RATE),
    N(LINECALLINFOSTATE_MEDIAMODE),     N(LINECALLINFOSTATE_APPSPECIFIC),
    N(LINECALLINFOSTATE_CALLID),        N(LINECALLINFOSTATE_RELATEDCALLID),
    N(LINECALLINFOSTATE_ORIGIN),        N(LINECALLINFOSTATE_REASON),
    N(LINECALLINFOSTATE_COMPLETIONID),  N(LINECALLINFOSTATE_NUMOWNERINCR),
    N(LINECALLINFOSTATE_NUMOWNERDECR),  N(LINECALLINFOSTATE_NUMMONITORS),
    N(LINECALLINFOSTATE_TRUNK),         N(LINECALLINFOSTATE_CALLERID),
    N(LINECALLINFOSTATE_CALLEDID),      N(LINECALLINFOSTATE_CONNECTEDID),
    N(LINECALLINFOSTATE_REDIRECTIONID), N(LINECALLINFOSTATE_REDIRECTINGID),
    N(LINECALLINFOSTATE_DISPLAY),       N(LINECALLINFOSTATE_USERUSERINFO),
    N(LINECALLINFOSTATE_HIGHLEVELCOMP), N(LINECALLINFOSTATE_LOWLEVELCOMP),
    N(LINECALLINFOSTATE_CHARGINGINFO),  N(LINECALLINFOSTATE_TERMINAL),
    N(LINECALLINFOSTATE_DIALPARAMS),    N(LINECALLINFOSTATE_MONITORMODES),
    N(LINECALLINFOSTATE_TREATMENT),     N(LINECALLINFOSTATE_QOS),
    N(LINECALLINFOSTATE_CALLDATA)};
constexpr TapiName kCallOrigin[] = {N(LINECALLORIGIN_OUTBOUND), N(LINECALLORIGIN_INTERNAL),
                                    N(LINECALLORIGIN_EXTERNAL), N(LINECALLORIGIN_UNKNOWN),
                                    N(LINECALLORIGIN_UNAVAIL),  N(LINECALLORIGIN_CONFERENCE),
                                    N(LINECALLORIGIN_INBOUND)};
constexpr TapiName kCallPartyId[] = {N(LINECALLPARTYID_BLOCKED), N(LINECALLPARTYID_OUTOFAREA),
                                     N(LINECALLPARTYID_NAME),    N(LINECALLPARTYID_ADDRESS),
                                     N(LINECALLPARTYID_PARTIAL), N(LINECALLPARTYID_UNKNOWN),
                                     N(LINECALLPARTYID_UNAVAIL)};
constexpr TapiName kCallReason[] = {
    N(LINECALLREASON_DIRECT),      N(LINECALLREASON_FWDBUSY),        N(LINECALLREASON_FWDNOANSWER),
    N(LINECALLREASON_FWDUNCOND),   N(LINECALLREASON_PICKUP),         N(LINECALLREASON_UNPARK),
    N(LINECALLREASON_REDIRECT),    N(LINECALLREASON_CALLCOMPLETION), N(LINECALLREASON_TRANSFER),
    N(LINECALLREASON_REMINDER),    N(LINECALLREASON_UNKNOWN),        N(LINECALLREASON_UNAVAIL),
    N(LINECALLREASON_INTRUDE),     N(LINECALLREASON_PARKED),         N(LINECALLREASON_CAMPEDON),
    N(LINECALLREASON_ROUTEREQUEST)};
constexpr TapiName kCallState[] = {
    N(LINECALLSTATE_IDLE),           N(LINECALLSTATE_OFFERING),
    N(LINECALLSTATE_ACCEPTED),       N(LINECALLSTATE_DIALTONE),
    N(LINECALLSTATE_DIALING),        N(LINECALLSTATE_RINGBACK),
    N(LINECALLSTATE_BUSY),           N(LINECALLSTATE_SPECIALINFO),
    N(LINECALLSTATE_CONNECTED),      N(LINECALLSTATE_PROCEEDING),
    N(LINECALLSTATE_ONHOLD),         N(LINECALLSTATE_CONFERENCED),
    N(LINECALLSTATE_ONHOLDPENDCONF), N(LINECALLSTATE_ONHOLDPENDTRANSFER),
    N(LINECALLSTATE_DISCONNECTED),   N(LINECALLSTATE_UNKNOWN)};
constexpr TapiName kCallTreatment[] = {N(LINECALLTREATMENT_SILENCE), N(LINECALLTREATMENT_RINGBACK),
                                       N(LINECALLTREATMENT_BUSY), N(LINECALLTREATMENT_MUSIC)};
constexpr TapiName kConnectedMode[] = {
    N(LINECONNECTEDMODE_ACTIVE), N(LINECONNECTEDMODE_INACTIVE), N(LINECONNECTEDMODE_ACTIVEHELD),
    N(LINECONNECTEDMODE_INACTIVEHELD), N(LINECONNECTEDMODE_CONFIRMED)};
constexpr TapiName kDevCapFlags[] = {N(LINEDEVCAPFLAGS_CROSSADDRCONF),
                                     N(LINEDEVCAPFLAGS_HIGHLEVCOMP),
                                     N(LINEDEVCAPFLAGS_LOWLEVCOMP),
                                     N(LINEDEVCAPFLAGS_MEDIACONTROL),
                                     N(LINEDEVCAPFLAGS_MULTIPLEADDR),
                                     N(LINEDEVCAPFLAGS_CLOSEDROP),
                                     N(LINEDEVCAPFLAGS_DIALBILLING),
                                     N(LINEDEVCAPFLAGS_DIALQUIET),
                                     N(LINEDEVCAPFLAGS_DIALDIALTONE),
                                     N(LINEDEVCAPFLAGS_CALLHUB),
                                     N(LINEDEVCAPFLAGS_CALLHUBTRACKING),
                                     N(LINEDEVCAPFLAGS_PRIVATEOBJECTS),
                                     N(LINEDEVCAPFLAGS_LOCAL)};
constexpr TapiName kDevState[] = {N(LINEDEVSTATE_OTHER),           N(LINEDEVSTATE_RINGING),
                                  N(LINEDEVSTATE_CONNECTED),       N(LINEDEVSTATE_DISCONNECTED),
                                  N(LINEDEVSTATE_MSGWAITON),       N(LINEDEVSTATE_MSGWAITOFF),
                                  N(LINEDEVSTATE_INSERVICE),       N(LINEDEVSTATE_OUTOFSERVICE),
                                  N(LINEDEVSTATE_MAINTENANCE),     N(LINEDEVSTATE_OPEN),
                                  N(LINEDEVSTATE_CLOSE),           N(LINEDEVSTATE_NUMCALLS),
                                  N(LINEDEVSTATE_NUMCOMPLETIONS),  N(LINEDEVSTATE_TERMINALS),
                                  N(LINEDEVSTATE_ROAMMODE),        N(LINEDEVSTATE_BATTERY),
                                  N(LINEDEVSTATE_SIGNAL),          N(LINEDEVSTATE_DEVSPECIFIC),
                                  N(LINEDEVSTATE_REINIT),          N(LINEDEVSTATE_LOCK),
                                  N(LINEDEVSTATE_CAPSCHANGE),      N(LINEDEVSTATE_CONFIGCHANGE),
                                  N(LINEDEVSTATE_TRANSLATECHANGE), N(LINEDEVSTATE_COMPLCANCEL),
                                  N(LINEDEVSTATE_REMOVED)};
constexpr TapiName kDevStatusFlags[] = {
    N(LINEDEVSTATUSFLAGS_CONNECTED), N(LINEDEVSTATUSFLAGS_MSGWAIT), N(LINEDEVSTATUSFLAGS_INSERVICE),
    N(LINEDEVSTATUSFLAGS_LOCKED)};
constexpr TapiName kDialToneMode[] = {N(LINEDIALTONEMODE_NORMAL),   N(LINEDIALTONEMODE_SPECIAL),
                                      N(LINEDIALTONEMODE_INTERNAL), N(LINEDIALTONEMODE_EXTERNAL),
                                      N(LINEDIALTONEMODE_UNKNOWN),  N(LINEDIALTONEMODE_UNAVAIL)};
constexpr TapiName kDigitMode[] = {N(LINEDIGITMODE_PULSE), N(LINEDIGITMODE_DTMF),
                                   N(LINEDIGITMODE_DTMFEND)};
constexpr TapiName kDisconnectMode[] = {
    N(LINEDISCONNECTMODE_NORMAL),       N(LINEDISCONNECTMODE_UNKNOWN),
    N(LINEDISCONNECTMODE_REJECT),       N(LINEDISCONNECTMODE_PICKUP),
    N(LINEDISCONNECTMODE_FORWARDED),    N(LINEDISCONNECTMODE_BUSY),
    N(LINEDISCONNECTMODE_NOANSWER),     N(LINEDISCONNECTMODE_BADADDRESS),
    N(LINEDISCONNECTMODE_UNREACHABLE),  N(LINEDISCONNECTMODE_CONGESTION),
    N(LINEDISCONNECTMODE_INCOMPATIBLE), N(LINEDISCONNECTMODE_UNAVAIL),
    N(LINEDISCONNECTMODE_NODIALTONE),   N(LINEDISCONNECTMODE_NUMBERCHANGED),
    N(LINEDISCONNECTMODE_OUTOFORDER),   N(LINEDISCONNECTMODE_TEMPFAILURE),
    N(LINEDISCONNECTMODE_QOSUNAVAIL),   N(LINEDISCONNECTMODE_BLOCKED),
    N(LINEDISCONNECTMODE_DONOTDISTURB), N(LINEDISCONNECTMODE_CANCELLED)};
constexpr TapiName kLineFeature[] = {
    N(LINEFEATURE_DEVSPECIFIC),  N(LINEFEATURE_DEVSPECIFICFEAT), N(LINEFEATURE_FORWARD),
    N(LINEFEATURE_MAKECALL),     N(LINEFEATURE_SETMEDIACONTROL), N(LINEFEATURE_SETTERMINAL),
    N(LINEFEATURE_SETDEVSTATUS), N(LINEFEATURE_FORWARDFWD),      N(LINEFEATURE_FORWARDDND)};
constexpr TapiName kForwardMode[] = {
    N(LINEFORWARDMODE_UNCOND),         N(LINEFORWARDMODE_UNCONDINTERNAL),
    N(LINEFORWARDMODE_UNCONDEXTERNAL), N(LINEFORWARDMODE_UNCONDSPECIFIC),
    N(LINEFORWARDMODE_BUSY),           N(LINEFORWARDMODE_BUSYINTERNAL),
    N(LINEFORWARDMODE_BUSYEXTERNAL),   N(LINEFORWARDMODE_BUSYSPECIFIC),
    N(LINEFORWARDMODE_NOANSW),         N(LINEFORWARDMODE_NOANSWINTERNAL),
    N(LINEFORWARDMODE_NOANSWEXTERNAL), N(LINEFORWARDMODE_NOANSWSPECIFIC),
    N(LINEFORWARDMODE_BUSYNA),         N(LINEFORWARDMODE_BUSYNAINTERNAL),
    N(LINEFORWARDMODE_BUSYNAEXTERNAL), N(LINEFORWARDMODE_BUSYNASPECIFIC),
    N(LINEFORWARDMODE_UNKNOWN),        N(LINEFORWARDMODE_UNAVAIL)};
constexpr TapiName kGatherTerm[] = {N(LINEGATHERTERM_BUFFERFULL), N(LINEGATHERTERM_TERMDIGIT),
                                    N(LINEGATHERTERM_FIRSTTIMEOUT), N(LINEGATHERTERM_INTERTIMEOUT),
                                    N(LINEGATHERTERM_CANCEL)};
constexpr TapiName kMediaMode[] = {
    N(LINEMEDIAMODE_UNKNOWN),        N(LINEMEDIAMODE_INTERACTIVEVOICE),
    N(LINEMEDIAMODE_AUTOMATEDVOICE), N(LINEMEDIAMODE_DATAMODEM),
    N(LINEMEDIAMODE_G3FAX),          N(LINEMEDIAMODE_TDD),
    N(LINEMEDIAMODE_G4FAX),          N(LINEMEDIAMODE_DIGITALDATA),
    N(LINEMEDIAMODE_TELETEX),        N(LINEMEDIAMODE_VIDEOTEX),
    N(LINEMEDIAMODE_TELEX),          N(LINEMEDIAMODE_MIXED),
    N(LINEMEDIAMODE_ADSI),           N(LINEMEDIAMODE_VOICEVIEW),
    N(LINEMEDIAMODE_VIDEO)};
constexpr TapiName kOfferingMode[] = {N(LINEOFFERINGMODE_ACTIVE), N(LINEOFFERINGMODE_INACTIVE)};
constexpr TapiName kParkMode[] = {N(LINEPARKMODE_DIRECTED), N(LINEPARKMODE_NONDIRECTED)};
constexpr TapiName kRemoveFromConf[] = {N(LINEREMOVEFROMCONF_NONE), N(LINEREMOVEFROMCONF_LAST),
                                        N(LINEREMOVEFROMCONF_ANY)};
constexpr TapiName kRoamMode[] = {N(LINEROAMMODE_UNKNOWN), N(LINEROAMMODE_UNAVAIL),
                                  N(LINEROAMMODE_HOME), N(LINEROAMMODE_ROAMA),
                                  N(LINEROAMMODE_ROAMB)};
constexpr TapiName kSpecialInfo[] = {N(LINESPECIALINFO_NOCIRCUIT), N(LINESPECIALINFO_CUSTIRREG),
                                     N(LINESPECIALINFO_REORDER), N(LINESPECIALINFO_UNKNOWN),
                                     N(LINESPECIALINFO_UNAVAIL)};
constexpr TapiName kToneMode[] = {N(LINETONEMODE_CUSTOM), N(LINETONEMODE_RINGBACK),
                                  N(LINETONEMODE_BUSY), N(LINETONEMODE_BEEP),
                                  N(LINETONEMODE_BILLING)};
constexpr TapiName kTransferMode[] = {N(LINETRANSFERMODE_TRANSFER), N(LINETRANSFERMODE_CONFERENCE)};
constexpr TapiName kStringFormat[] = {N(STRINGFORMAT_ASCII), N(STRINGFORMAT_DBCS),
                                      N(STRINGFORMAT_UNICODE), N(STRINGFORMAT_BINARY)};

#undef N
#undef E

struct Family {
  TapiFamily id;
  std::string_view prefix;
  bool flags;
  std::span<const TapiName> names;
};

// Indexed by TapiFamily.
constexpr Family kFamilies[] = {
    {TapiFamily::LineMessage, "", false, kLineMessage},
    {TapiFamily::LineError, "", false, kLineError},
    {TapiFamily::AddrCapFlags, "LINEADDRCAPFLAGS_", true, kAddrCapFlags},
    {TapiFamily::AddressMode, "LINEADDRESSMODE_", true, kAddressMode},
    {TapiFamily::AddressSharing, "LINEADDRESSSHARING_", false, kAddressSharing},
    {TapiFamily::AddressState, "LINEADDRESSSTATE_", true, kAddressState},
    {TapiFamily::AddrFeature, "LINEADDRFEATURE_", true, kAddrFeature},
    {TapiFamily::AnswerMode, "LINEANSWERMODE_", true, kAnswerMode},
    {TapiFamily::BearerMode, "LINEBEARERMODE_", true, kBearerMode},
    {TapiFamily::BusyMode, "LINEBUSYMODE_", true, kBusyMode},
    {TapiFamily::CallComplCond, "LINECALLCOMPLCOND_", true, kCallComplCond},
    {TapiFamily::CallComplMode, "LINECALLCOMPLMODE_", true, kCallComplMode},
    {TapiFamily::CallFeature, "LINECALLFEATURE_", true, kCallFeature},
    {TapiFamily::CallFeature2, "LINECALLFEATURE2_", true, kCallFeature2},
    {TapiFamily::CallInfoState, "LINECALLINFOSTATE_", true, kCallInfoState},
    {TapiFamily::CallOrigin, "LINECALLORIGIN_", true, kCallOrigin},
    {TapiFamily::CallPartyId, "LINECALLPARTYID_", true, kCallPartyId},
    {TapiFamily::CallReason, "LINECALLREASON_", true, kCallReason},
    {TapiFamily::CallState, "LINECALLSTATE_", true, kCallState},
    {TapiFamily::CallTreatment, "LINECALLTREATMENT_", false, kCallTreatment},
    {TapiFamily::ConnectedMode, "LINECONNECTEDMODE_", true, kConnectedMode},
    {TapiFamily::DevCapFlags, "LINEDEVCAPFLAGS_", true, kDevCapFlags},
    {TapiFamily::DevState, "LINEDEVSTATE_", true, kDevState},
    {TapiFamily::DevStatusFlags, "LINEDEVSTATUSFLAGS_", true, kDevStatusFlags},
    {TapiFamily::DialToneMode, "LINEDIALTONEMODE_", true, kDialToneMode},
    {TapiFamily::DigitMode, "LINEDIGITMODE_", true, kDigitMode},
    {TapiFamily::DisconnectMode, "LINEDISCONNECTMODE_", true, kDisconnectMode},
    {TapiFamily::LineFeature, "LINEFEATURE_", true, kLineFeature},
    {TapiFamily::ForwardMode, "LINEFORWARDMODE_", true, kForwardMode},
    {TapiFamily::GatherTerm, "LINEGATHERTERM_", true, kGatherTerm},
    {TapiFamily::MediaMode, "LINEMEDIAMODE_", true, kMediaMode},
    {TapiFamily::OfferingMode, "LINEOFFERINGMODE_", true, kOfferingMode},
    {TapiFamily::ParkMode, "LINEPARKMODE_", true, kParkMode},
    {TapiFamily::RemoveFromConf, "LINEREMOVEFROMCONF_", false, kRemoveFromConf},
    {TapiFamily::RoamMode, "LINEROAMMODE_", true, kRoamMode},
    {TapiFamily::SpecialInfo, "LINESPECIALINFO_", true, kSpecialInfo},
    {TapiFamily::ToneMode, "LINETONEMODE_", true, kToneMode},
    {TapiFamily::TransferMode, "LINETRANSFERMODE_", true, kTransferMode},
    {TapiFamily::StringFormat, "STRINGFORMAT_", false, kStringFormat},
};

constexpr bool IndexedByFamily() {
  for (size_t i = 0; i < std::size(kFamilies); ++i) {
    if (static_cast<size_t>(kFamilies[i].id) != i) return false;
  }
  return std::size(kFamilies) == static_cast<size_t>(TapiFamily::StringFormat) + 1;
}
static_assert(IndexedByFamily(), "kFamilies must list every family in TapiFamily order");

const Family& Find(TapiFamily family) {
  return kFamilies[static_cast<size_t>(family)];
}

std::string_view Short(const Family& family, std::string_view name) {
  return name.substr(family.prefix.size());
}

}  // namespace

std::string TapiHex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string_view TapiFamilyPrefix(TapiFamily family) {
  return Find(family).prefix;
}

bool TapiIsFlagFamily(TapiFamily family) {
  return Find(family).flags;
}

std::string TapiValueName(TapiFamily family, DWORD value) {
  const Family& f = Find(family);
  for (const TapiName& name : f.names) {
    if (name.value == value) return std::string(Short(f, name.name));
  }
  return TapiHex(value);
}

std::vector<std::string> TapiFlagList(TapiFamily family, DWORD value) {
  const Family& f = Find(family);
  std::vector<std::string> names;
  DWORD unnamed = value;
  for (const TapiName& name : f.names) {
    if (name.value != 0 && (value & name.value) == name.value) {
      names.emplace_back(Short(f, name.name));
      unnamed &= ~name.value;
    }
  }
  if (unnamed != 0) names.push_back(TapiHex(unnamed));
  return names;
}

std::string TapiFlagNames(TapiFamily family, DWORD value) {
  std::string text;
  for (const std::string& name : TapiFlagList(family, value)) {
    if (!text.empty()) text += '|';
    text += name;
  }
  return text.empty() ? "0" : text;
}

std::string TapiDecode(TapiFamily family, DWORD value) {
  return TapiIsFlagFamily(family) ? TapiFlagNames(family, value) : TapiValueName(family, value);
}

}  // namespace qrvn::host
