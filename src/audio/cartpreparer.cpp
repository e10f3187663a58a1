#include "audio/cartpreparer.h"

#include "audio/cart.h"
#include "audio/decoder.h"

#include <vector>

CartPreparer::CartPreparer(int outputRate, int headFrames, ChangeHandler changed)
    : m_queue("airloom-prepare"),
      m_context(std::make_shared<Context>(Context{outputRate, headFrames, std::move(changed),
                                                  m_queue.cancelFlag(), m_queue.poster()})) {}

void CartPreparer::prepare(std::shared_ptr<Cart> cart) {
    m_queue.post([context = m_context, cart = std::move(cart)]() mutable {
        prepareJob(context, std::move(cart), 0);
    });
}

std::chrono::milliseconds CartPreparer::retryDelay(int attempt) {
    return kRetryDelay * (1 << attempt);
}

void CartPreparer::prepareJob(const std::shared_ptr<Context>& context, std::shared_ptr<Cart> cart,
                              int attempt) {
    if (!cart->isOpenable() || cart->isPrepared())
        return;
    const int headFrames = context->headFrames;
    auto decoder = std::make_shared<Decoder>(context->outputRate);
    std::vector<float> head;
    bool whole = true;
    if (decoder->open(cart->file(), context->cancel)) {
        head.resize(static_cast<std::size_t>(headFrames) * 2);
        const int got = decoder->read(head.data(), headFrames);
        whole = got < headFrames || decoder->skip(1) == 0;
        head.resize(static_cast<std::size_t>(got) * 2);
        head.shrink_to_fit();
    }
    if (context->cancel->load(std::memory_order_relaxed))
        return;
    // A failed read is not the end of the cart: it stays unprepared (a fire streams it
    // from the top) and is prepared again later.
    if (decoder->fault() != 0) {
        if (attempt < kRetries && cart.use_count() > 1) {
            context->poster.postAfter(retryDelay(attempt), [context, cart, attempt]() mutable {
                prepareJob(context, std::move(cart), attempt + 1);
            });
        }
        return;
    }
    if (cart->setHead(std::move(head), whole, *decoder) && context->changed)
        context->changed(cart);
    // The full decode goes on behind the jobs queued meanwhile.
    if (!whole) {
        context->poster.post([context, cart, decoder]() mutable {
            countJob(context, std::move(cart), std::move(decoder), 0);
        });
    }
}

void CartPreparer::countJob(const std::shared_ptr<Context>& context, std::shared_ptr<Cart> cart,
                            std::shared_ptr<Decoder> decoder, int attempt) {
    // A cart nobody holds any more need not be measured.
    if (cart.use_count() == 1 || context->cancel->load(std::memory_order_relaxed))
        return;
    if (!decoder) {
        decoder = std::make_shared<Decoder>(context->outputRate);
        if (!decoder->open(cart->file(), context->cancel) && decoder->fault() == 0)
            return; // no longer decodes at all: the measured length stands
    }
    const std::int64_t slice = std::int64_t{kCountSliceSeconds} * context->outputRate;
    const bool more = decoder->skip(slice) == slice;
    if (context->cancel->load(std::memory_order_relaxed))
        return;
    if (decoder->fault() != 0) {
        // The measured length stands until a decode reaches the real end.
        if (attempt < kRetries) {
            context->poster.postAfter(retryDelay(attempt), [context, cart, attempt]() mutable {
                countJob(context, std::move(cart), nullptr, attempt + 1);
            });
        }
        return;
    }
    if (more) {
        // A full decode goes on behind the jobs queued meanwhile.
        context->poster.post([context, cart, decoder, attempt]() mutable {
            countJob(context, std::move(cart), std::move(decoder), attempt);
        });
        return;
    }
    if (cart->setDecodedLength(decoder->outputFrames(), context->outputRate) && context->changed)
        context->changed(cart);
}
