// Every query's walks on the compact tree, code points in 16 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::TreeQueries<prefix::walk::CompactView<std::uint16_t>,
                                          prefix::walk::CompactPayloadOf>;
