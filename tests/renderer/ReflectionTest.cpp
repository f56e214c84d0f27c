#include "renderer/Reflection.h"
#include "renderer/Room.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
const float front[3] = { 0.0f, 2.0f, 0.0f };

// The 90-degree head turn whose rows are (0, 1, 0), (-1, 0, 0), (0, 0, 1).
const float turn90[9] = { 0, 1, 0, -1, 0, 0, 0, 0, 1 };

bool sameCoefficients (const Zeph::BiquadCoefficients& a, const Zeph::BiquadCoefficients& b)
{
    return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
}

// Everything a compile can change in a ray's render fields.
void expectSameRay (const Zeph::Ray& a, const Zeph::Ray& b, const char* what)
{
    EXPECT_EQ (a.gain, b.gain) << what;
    EXPECT_EQ (a.targetDelay, b.targetDelay) << what;
    EXPECT_EQ (a.currentDelay, b.currentDelay) << what;
    for (int k = 0; k < Zeph::Ray::numFilters; ++k)
    {
        EXPECT_TRUE (sameCoefficients (a.coefficients[k], b.coefficients[k])) << what << " filter " << k;
        EXPECT_TRUE (sameCoefficients (a.designs[k].coefficients, b.designs[k].coefficients)) << what << " design " << k;
    }
}

// A ray compiled by hand at a given position, as a reflection's ray should be.
Zeph::Ray rayAt (uint8_t ear, uint8_t order, float x, float y, float z, float angle, float gain,
                 const Zeph::Settings& settings)
{
    Zeph::Ray ray (ear, order);
    ray.compile (settings, x, y, z, angle, 1.5f, gain, true);
    return ray;
}
} // namespace

TEST (Reflection, OrderZeroIsTheDirectSound)
{
    const float position[3] = { 1.0f, -2.0f, 0.5f };
    const Zeph::Reflection direct (3, 0, position, 0.0f, 1.0f);
    EXPECT_TRUE (direct.isDirect);
    EXPECT_FALSE (direct.isDeskReflection || direct.isFloorReflection);
    EXPECT_EQ (direct.refDistance, 1.5f);
    EXPECT_EQ (direct.left.ear, 0);
    EXPECT_EQ (direct.right.ear, 1);
    EXPECT_EQ (direct.left.order, 0);

    for (uint8_t order : { 1, 2 })
    {
        const Zeph::Reflection image (1, order, position, 33.0f, 0.4f);
        EXPECT_FALSE (image.isDirect);
        EXPECT_EQ (image.left.order, order);
        EXPECT_EQ (image.right.order, order);
    }
}

TEST (Reflection, DirectSoundWithoutOrWithIdentityMatrixIsUnrotated)
{
    Zeph::Settings settings;
    const float position[3] = { 0.7f, 1.9f, 0.3f };
    const auto left = rayAt (0, 0, 0.7f, 1.9f, 0.3f, 0.0f, 1.0f, settings);
    const auto right = rayAt (1, 0, 0.7f, 1.9f, 0.3f, 0.0f, 1.0f, settings);

    Zeph::Reflection noMatrix (0, 0, position, 0.0f, 1.0f);
    noMatrix.compile (nullptr, settings, true);
    expectSameRay (noMatrix.left, left, "no matrix, left");
    expectSameRay (noMatrix.right, right, "no matrix, right");

    const HeadMatrix identity;
    Zeph::Reflection withIdentity (0, 0, position, 0.0f, 1.0f);
    withIdentity.compile (&identity, settings, true);
    expectSameRay (withIdentity.left, left, "identity, left");
    expectSameRay (withIdentity.right, right, "identity, right");
}

TEST (Reflection, NinetyDegreeTurnCompilesTheFrontSourceOnTheLeft)
{
    Zeph::Settings settings;
    HeadMatrix head;
    head.write (turn90);

    Zeph::Reflection direct (0, 0, front, 0.0f, 1.0f);
    direct.compile (&head, settings, true);

    expectSameRay (direct.left, rayAt (0, 0, -2.0f, 0.0f, 0.0f, 0.0f, 1.0f, settings), "left");
    expectSameRay (direct.right, rayAt (1, 0, -2.0f, 0.0f, 0.0f, 0.0f, 1.0f, settings), "right");
    EXPECT_LT (direct.left.targetDelay, direct.right.targetDelay);
    EXPECT_GT (direct.left.gain, direct.right.gain);

    // Rows, not columns: a source on the right, (1, 0, 0), is turned to the front.
    const float rightSide[3] = { 1.0f, 0.0f, 0.0f };
    Zeph::Reflection side (1, 0, rightSide, 0.0f, 1.0f);
    side.compile (&head, settings, true);
    expectSameRay (side.left, rayAt (0, 0, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, settings), "side, left");

    // The stored position is never turned.
    EXPECT_EQ (direct.position[0], 0.0f);
    EXPECT_EQ (direct.position[1], 2.0f);
    EXPECT_EQ (direct.position[2], 0.0f);
}

TEST (Reflection, HeadMovementRetargetsOnlyTheDirectSound)
{
    Zeph::Settings settings;
    const HeadMatrix identity;
    HeadMatrix head;
    head.write (turn90);

    Zeph::Reflection direct (0, 0, front, 0.0f, 1.0f);
    direct.compile (&identity, settings, true);
    const Zeph::Ray before = direct.left;

    direct.compile (&head, settings, false);
    direct.left.takeUpdate();
    const auto target = rayAt (0, 0, -2.0f, 0.0f, 0.0f, 0.0f, 1.0f, settings);
    EXPECT_EQ (direct.left.targetDelay, target.targetDelay);
    EXPECT_EQ (direct.left.currentDelay, before.currentDelay); // slewed by rendering, not here
    EXPECT_TRUE (sameCoefficients (direct.left.coefficients[0], before.coefficients[0]));

    // A second compile against the same matrix keeps the target delay.
    const float firstTarget = direct.left.targetDelay;
    direct.compile (&head, settings, false);
    direct.left.takeUpdate();
    EXPECT_EQ (direct.left.targetDelay, firstTarget);
}

TEST (Reflection, StaticReflectionIgnoresHeadAndCompilesOnlyWithForce)
{
    Zeph::Settings settings;
    HeadMatrix head;
    head.write (turn90);
    const float image[3] = { -8.5f, 2.7f, 0.0f };

    for (uint8_t order : { 1, 2 })
    {
        Zeph::Reflection reflection (2, order, image, 40.0f, 0.3f);
        reflection.compile (nullptr, settings, false); // nothing happens before the first forced compile
        reflection.left.takeUpdate();
        EXPECT_EQ (reflection.left.targetDelay, 0.0f);
        EXPECT_EQ (reflection.left.gain, 0.5f);

        reflection.compile (&head, settings, true);
        const auto expected = rayAt (0, order, image[0], image[1], image[2], 40.0f, 0.3f, settings);
        expectSameRay (reflection.left, expected, "forced, not rotated");
        EXPECT_FALSE (sameCoefficients (reflection.left.coefficients[0], Zeph::BiquadCoefficients {}));

        reflection.left.takeUpdate();
        const Zeph::Ray settled = reflection.left;
        const HeadMatrix identity;
        reflection.compile (&identity, settings, false);
        reflection.left.takeUpdate();
        expectSameRay (reflection.left, settled, "head movement");
    }
}

TEST (Room, FreshRoomHasTwoEmptySets)
{
    const Zeph::Room room;
    EXPECT_EQ (room.reflectionSets[0].size(), 0);
    EXPECT_EQ (room.reflectionSets[1].size(), 0);
    EXPECT_EQ (room.activeSet(), 0);
    EXPECT_EQ (room.geometryIndex, 0);
    EXPECT_FALSE (room.swapPending());
    EXPECT_EQ (room.curChannel, 0);
    EXPECT_EQ (room.curReflection, 0);
    EXPECT_EQ (room.reverbGainLeft.load(), 0.7071f);
    EXPECT_EQ (room.reverbGainRight.load(), 0.7071f);
    EXPECT_NE (room.reverbGainLeft.load(), (float) (1.0 / std::sqrt (2.0)));
}

TEST (Room, PendingSetIsTakenOverAtTheSwapCheck)
{
    Zeph::Room room;
    room.activeReflections().add (new Zeph::Reflection (0, 0, front, 0.0f, 1.0f));

    // The builder fills the other set and publishes it last.
    auto& next = room.claimInactiveSet();
    EXPECT_EQ (&next, &room.inactiveReflections());
    for (uint8_t c = 0; c < 3; ++c)
        next.add (new Zeph::Reflection (c, 1, front, 10.0f, 0.5f));
    room.publishInactiveSet();
    EXPECT_TRUE (room.swapPending());

    // No flip before the audio thread has taken the new set's reset.
    EXPECT_EQ (&room.takePendingSwap(), &room.reflectionSets[0]);
    EXPECT_TRUE (room.takePendingReset());
    EXPECT_FALSE (room.takePendingReset());

    EXPECT_EQ (&room.takePendingSwap(), &room.reflectionSets[1]);
    EXPECT_EQ (room.activeSet(), 1);
    EXPECT_FALSE (room.swapPending());
    EXPECT_EQ (room.activeReflections().size(), 3);

    // Without a pending set nothing moves; the old set is the next to refill.
    room.takePendingSwap();
    EXPECT_EQ (room.activeSet(), 1);
    EXPECT_EQ (room.inactiveReflections().size(), 1);
    room.inactiveReflections().clear();
    EXPECT_EQ (room.reflectionSets[0].size(), 0);
    EXPECT_EQ (room.activeReflections().size(), 3);
}

TEST (Room, ClaimCancelsASwapNotYetTaken)
{
    Zeph::Room room;
    room.claimInactiveSet().add (new Zeph::Reflection (0, 0, front, 0.0f, 1.0f));
    room.publishInactiveSet();
    EXPECT_TRUE (room.takePendingReset());

    // A second build starts before the audio thread flipped: it gets the same set back.
    auto& again = room.claimInactiveSet();
    EXPECT_EQ (&again, &room.reflectionSets[1]);
    EXPECT_FALSE (room.swapPending());
    EXPECT_EQ (&room.takePendingSwap(), &room.reflectionSets[0]);
}

TEST (Room, SwapDueSaysWhetherTheNextSwapCheckFlips)
{
    // The audio thread renders rays it has queued from the active set before
    // a flip retires that set; swapDue must be true exactly when
    // takePendingSwap would flip.
    Zeph::Room room;
    EXPECT_FALSE (room.swapDue());

    room.claimInactiveSet().add (new Zeph::Reflection (0, 0, front, 0.0f, 1.0f));
    room.publishInactiveSet();
    EXPECT_FALSE (room.swapDue()) << "held off until the block takes the build's reset";
    EXPECT_EQ (&room.takePendingSwap(), &room.reflectionSets[0]);

    EXPECT_TRUE (room.takePendingReset());
    EXPECT_TRUE (room.swapDue());
    EXPECT_EQ (&room.takePendingSwap(), &room.reflectionSets[1]);
    EXPECT_FALSE (room.swapDue());

    // A build published in mid-block raises the reset with the swap, so it
    // cannot flip before the next block either.
    room.claimInactiveSet();
    room.publishInactiveSet();
    EXPECT_FALSE (room.swapDue());
    EXPECT_TRUE (room.takePendingReset());
    EXPECT_TRUE (room.swapDue());

    // A claim cancels a swap not yet taken.
    room.claimInactiveSet();
    EXPECT_FALSE (room.swapDue());
    EXPECT_EQ (&room.takePendingSwap(), &room.reflectionSets[1]);
}
