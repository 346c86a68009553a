package java.util;

/** Marks lists with fast indexed access. */
public interface RandomAccess {
}
