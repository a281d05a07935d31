// The case-folded walks of suggest and complete on the shared tree, code points in 32 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::FoldedQueries<prefix::walk::SharedView<std::uint32_t>,
                                            prefix::walk::SharedPayloadOf>;
