#include "lines/receiver_steps.h"

#include <algorithm>
#include <utility>

#include "core/notice_field.h"
#include "core/text.h"
#include "core/wire.h"
#include "lines/line_port.h"
#include "lines/stored_event.h"

namespace quell {
namespace {

bool WardexClientConnected(const LineContext& ctx) {
  return ctx.clients && ctx.clients->WardexClientCount() > 0;
}

// The receiver's message is one field of the notice: a separator or control
// byte in it becomes "_" (the console's copy stays as received).
std::string NoticeText(const TLineGSM& line, const std::string& text, const char* kind,
                       bool keepFinalCr = false) {
  return line.LineName + ";" + NoticeField(text, keepFinalCr) + ";" + line.LineType + ";" + kind;
}

void Trace(const LineContext& ctx, std::string text) {
  if (ctx.trace) ctx.trace->Append(std::move(text));
}

// Letters and digits only: a ";" or "|" in a short message would split the
// client's notice fields, a control byte the console's record.
bool ContactIdText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
}

// Drops an over-long partial message so a device without terminators
// cannot exhaust memory.
void GuardBufferSize(TLineGSM& line, const LineContext& ctx) {
  if (line.RxBuffer.size() <= kMaxReceiverMessage) return;
  Trace(ctx, line.LineName + ": message longer than " + std::to_string(kMaxReceiverMessage) +
                 " bytes dropped");
  line.RxBuffer.clear();
}

}  // namespace

void MlrStep(TLineGSM& line, const LineContext& ctx) {
  line.RxBuffer.clear();
  if (InputQueueCount(line) > 0) {
    line.Alive = true;
    line.LastRxTick = ctx.clock->TickCount();
    for (;;) {
      const bool got = ReadLineByte(line);
      line.Alive = true;
      if (!got) break;
      if (static_cast<int8_t>(line.RxByte) > 21) line.RxBuffer.push_back(char(line.RxByte));
      if (line.RxByte == uint8_t(kDC4)) {
        const std::string message = line.RxBuffer;
        line.RxBuffer.clear();
        // Stored before anything leaves; not stored, it gets no ACK and the
        // receiver sends it again.
        const bool toClient = WardexClientConnected(ctx);
        const std::string entry = message + kDC4;
        const std::string notice = NoticeText(line, message, "MLR_EVENT|");
        EventRow row = LineEventRow(line, ctx, "mlr", entry);
        row.account = EventAccount(message);
        row.consoleText = entry;
        row.console = EventFate::Pending;
        if (toClient) {
          row.noticeText = notice;
          row.notice = EventFate::Pending;
        }
        RowKey key;
        if (!StoreAndWait(line, ctx, std::move(row), &key)) continue;
        if (toClient)
          QueueForRow(line.NoticeQueue, ctx.noticeLedger, NoticeOrigin::SerialReceiver, notice,
                      key);
        // The receiver's own heartbeat is acknowledged twice.
        WriteLine(line, Contains(message, " @") ? std::string(2, kACK) : std::string(1, kACK));
        QueueForRow(ctx.consoleQueue, ctx.consoleLedger, entry, key);
      }
      GuardBufferSize(line, ctx);
    }
  }
  if (TicksSince(ctx.clock->TickCount(), line.LastRxTick) > kMlrSilenceMs) line.Alive = false;
}

void VortiStep(TLineGSM& line, const LineContext& ctx) {
  if (InputQueueCount(line) > 0) {
    line.Alive = true;
    line.LastRxTick = ctx.clock->TickCount();
    for (;;) {
      if (!ReadLineByte(line)) break;
      if (line.RxByte != uint8_t(kLF)) line.RxBuffer.push_back(char(line.RxByte));
      if (line.RxByte == uint8_t(kCR)) {
        const std::string message = std::exchange(line.RxBuffer, {});
        if (WardexClientConnected(ctx)) {
          // An event notice is stored before the ACK; the link test is not.
          const bool event = !Contains(message, "OKAY @");
          const std::string notice = NoticeText(line, message, "VORTI_EVENT|", true);
          RowKey key;
          if (event) {
            EventRow row = LineEventRow(line, ctx, "vorti", message);
            row.noticeText = notice;
            row.notice = EventFate::Pending;
            if (!StoreAndWait(line, ctx, std::move(row), &key)) continue;
          }
          WriteLine(line, std::string(1, kACK));
          if (event)
            QueueForRow(line.NoticeQueue, ctx.noticeLedger, NoticeOrigin::SerialReceiver, notice,
                        key);
        }
      }
      GuardBufferSize(line, ctx);
    }
  }
  if (TicksSince(ctx.clock->TickCount(), line.LastRxTick) > kVortiSilenceMs) line.Alive = false;
}

void KeepAliveStep(TLineGSM& line, const LineContext& ctx) {
  while (ReadLineByte(line)) {
    if (line.RxByte != uint8_t(line.ChACK)) continue;
    line.LastRxTick = ctx.clock->TickCount();
    if (ctx.consoleAcknowledged) *ctx.consoleAcknowledged = true;
    if (!line.Alive && ctx.journalQueue) ctx.journalQueue->PutHead("Quell Server ComPort: Alive");
    line.Alive = true;
  }
  if (TicksSince(ctx.clock->TickCount(), line.LastRxTick) > kConsoleSilenceMs) {
    if (line.Alive && ctx.journalQueue)
      ctx.journalQueue->PutHead("Quell Server ComPort: Wait for response ...");
    line.Alive = false;
  }
}

void SmsEvent(TLineGSM& line, const std::string& text, const LineContext& ctx) {
  std::string rest = FieldAt(text, 2, "C1D");
  if (IsFalse(rest)) return;
  const std::string account = Substring(rest, 3, 4);
  rest.erase(0, std::min<size_t>(6, rest.size()));
  while ((StartsWith(rest, "1") || StartsWith(rest, "3")) && rest.size() >= 9) {
    Trace(ctx, rest);
    const std::string body = Substring(rest, 2, 8);
    if (!ContactIdText(account) || !ContactIdText(body)) {
      Trace(ctx, line.LineName + ": short-message report dropped: " + text);
      return;
    }
    const char qualifier = rest[0] == '1' ? 'E' : 'R';
    const std::string event = "5099 18" + account + qualifier + body;
    // No sender to retry: stored without waiting, held while writes fail.
    const bool toClient = WardexClientConnected(ctx);
    const std::string notice = NoticeText(line, event, "MLR_EVENT|");
    EventRow row = LineEventRow(line, ctx, "sms", text);
    row.account = account;
    row.consoleText = event;
    row.console = EventFate::Pending;
    if (toClient) {
      row.noticeText = notice;
      row.notice = EventFate::Pending;
    }
    const RowKey key = StoreSenderless(ctx, std::move(row));
    if (toClient)
      QueueForRow(line.NoticeQueue, ctx.noticeLedger, NoticeOrigin::ShortMessage, notice, key);
    QueueForRow(ctx.consoleQueue, ctx.consoleLedger, event, key);
    Trace(ctx, event);
    rest.erase(0, 9);
  }
}

}  // namespace quell
