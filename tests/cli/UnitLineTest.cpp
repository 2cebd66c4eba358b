// kvel-cli's failure line names an exception by the one exception table.
#include "UnitLine.h"
#include "ModbusExceptions.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kvel::cli {
namespace {

TEST(UnitLineTest, AnExceptionIsNamedByItsNumberAndTheTablesEnglishName) {
    const Invocation call;
    const UnitLine line(call);
    for (const ModbusException& known : kModbusExceptions) {
        char number[4];
        std::snprintf(number, sizeof number, "%02X", known.code);
        Answer answer;
        answer.outcome = TransactionOutcome::Exception;
        answer.exceptionCode = known.code;
        answer.tries = 1;
        EXPECT_EQ(line.Failure(answer), std::string("the unit answered with exception ") + number +
                                            " (" + known.english + ")");
    }
}

TEST(UnitLineTest, AGatewaysNoUnitSaysWhatTheGatewaySaid) {
    const Invocation call;
    const UnitLine line(call);
    Answer answer;
    answer.outcome = TransactionOutcome::NoUnit;
    answer.exceptionCode = kExceptionGatewayTargetSilent;
    EXPECT_NE(line.Failure(answer).find(
                  "the gateway says exception 0B (gateway target failed to respond); check the "
                  "address"),
              std::string::npos)
        << line.Failure(answer);
}

} // namespace
} // namespace kvel::cli
